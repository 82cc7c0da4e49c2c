#pragma once

#include "core/localization.h"
#include "core/session_clock.h"
#include "link/link_host.h"
#include "platform/forms_port.h"
#include "platform/status_port.h"
#include "platform/tray_port.h"
#include "ui/actions.h"
#include "ui/frmBlock.h"
#include "ui/frmMain.h"
#include "ui/frmMsgBox.h"
#include "ui/status_windows.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tlv {

class Client;
class Scheduler;
struct RuntimeLayout;
enum class MsgAction;

// The message document to show: a language without its own documents shows the English ones.
std::string messageFileOrEnglish(const std::string& path);

// What the server link and the password dialogs plug into the forms. Empty slots: the
// form does what it can without them (a session request reports the server as unavailable).
struct FormHooks {
    std::function<void(int type, int mode, const std::string& id, const std::string& password)>
        subStartConnexion;
    std::function<void()> subCheckBalance;
    std::function<void(const std::string&)> sendChatMessage;
    std::function<std::string()> userId;                   // card number or login of the session
    std::function<bool()> managerPasswordSet;              // "%$&###PasswordMangr#" received
    std::function<void(QWidget*)> subDeactivationPassword; // frmPasswd
    std::function<void()> subQuitPassword;                 // frmPasswdClose
    std::function<void()> subLogOffPassword;               // frmPasswdLogOff
    std::function<void(QWidget*)> showPasswdChange;        // frmPasswdChange
    std::function<void(bool modal)> showAbout;
    std::function<void()> showAboutSplash;      // 12 s at start-up
    std::function<void()> showSetupWizardModal; // returns when the wizard is closed
    std::function<void()> showOptions;
    // The staff dialogs (passwords, options, wizard, about box) are loaded and unloaded there.
    std::function<bool(FormId)> dialogLoaded;
    std::function<void(FormId)> unloadDialog;
    std::function<void()> beep;
};

// The Qt forms behind the client's forms, status and tray ports. Built before the client
// (the ports are references), attached to it once it exists.
class QtForms : public FormsPort,
                public LinkForms,
                public StatusPort,
                public TrayPort,
                public Localizable,
                public BlockHost,
                public StatusHost,
                public MainHost,
                public MessageBoxes::Host,
                public ActionHost {
public:
    QtForms(Scheduler& scheduler, const RuntimeLayout& layout);
    ~QtForms() override;

    void attach(Client& client);
    FormHooks& hooks() { return m_hooks; }

    frmBlock* block() { return m_block.get(); }
    frmMain* main() { return m_main.get(); }
    StatusWindows* statusWindows() { return m_status.get(); }
    MessageBoxes* messageBoxes() { return m_boxes.get(); }

    // subShowMsgBox with an action of the client.
    void showMsgBox(const std::string& text, bool yesNo, bool noDefault, MsgAction action,
                    QWidget* owner = nullptr, bool sticky = false);
    // The connection supervisor's view of the link: indicator, buttons, main-form labels.
    void setServerConnected(bool connected);
    void setStatusTexts(const StatusTexts& t);
    void receiveChatMessage(const std::string& text);

    // FormsPort
    bool isLoaded(FormId id) const override;
    void load(FormId id) override;
    void unload(FormId id) override;
    void hide(FormId id) override;
    void showBlockScreen(const BlockScreenView& view) override;
    bool lockOptionEnabled(LockOption option) const override;
    void applyDefaultUsage(UsageSelection selection) override;
    void stopCloseSessionCountdown() override;
    ScreenSize screenSize() const override;
    void showMain(bool topmostWithFocus) override;
    void fitMainToControls() override;
    void showMainDisabled(const std::string& statusText) override;
    void showAboutSplash(bool overMainWindow) override;
    void showSetupWizardModal() override;
    void subQuitPassword() override;
    void subLogOffPassword() override;
    MsgAnswer showStandardMessage(const std::string& text, const std::string& title,
                                  const MsgBoxStyle& style) override;

    // StatusPort
    void prepareForSession(int sessionType) override;
    void setConnectedOption(bool connected) override;
    void subShowStatus() override;
    bool funHideStatusWindows() override;
    void subSetCloseButtons(bool hideAllStatusWindows, bool noSessionCloseButton) override;

    // TrayPort
    void addIcon() override;
    void removeIcon() override;
    void setIcon(TrayImage image) override;

    void subLocalizeInterface() override;

    // LinkForms: the server link reaches the controls by their names.
    void setEnabled(std::string_view form, std::string_view control, bool on) override;
    void setVisible(std::string_view form, std::string_view control, bool on) override;
    void setCaption(std::string_view form, std::string_view control,
                    const std::string& text) override;
    void setToolTip(std::string_view form, std::string_view control,
                    const std::string& text) override;
    void setValue(std::string_view form, std::string_view control, bool on) override;
    void setText(std::string_view form, std::string_view control, const std::string& text) override;
    void setFocus(std::string_view form, std::string_view control) override;
    void setTimer(std::string_view form, std::string_view timer, bool running) override;
    void setHourglass(std::string_view form, bool on) override;
    void applyConnectRule() override;
    void setConnectedPicture(bool connected) override;
    void setCardMasked(bool masked) override;
    void setTopmost(std::string_view form, bool on) override;
    void setUnblockDelay(double duration) override;
    void reloadLockMessage() override;
    bool isLoaded(std::string_view form) const override;
    void unload(std::string_view form) override;
    void subShowMsgBox(const std::string& text, bool yesNo, bool defaultYes, LinkMsgAction action,
                       std::string_view owner) override;
    void subSetCloseButtons() override;
    void chatManagerLine(const std::string& text) override;
    void setPauseButtons(bool shown) override;

private:
    QWidget* formWidget(std::string_view form) const;
    QWidget* control(std::string_view form, std::string_view name) const;
    static std::optional<FormId> formIdOf(std::string_view form);
    FormText formText() const;
    std::unique_ptr<clsAction> makeAction(MsgAction action, ModeOptionOwner* owner);
    frmBlock& ensureBlock();
    // State 11: follow_image.jpg of the data folder, or the sentence until one has come.
    void showFollowedScreen();
    void ensureStatus();
    void ensureMain();

    // BlockHost
    bool serverConnected() const override;
    void subStartConnexion(int type, int mode, const std::string& id,
                           const std::string& password) override;
    void subCheckBalance() override;
    void funUnPauseSession() override;
    void askCloseSession() override;
    void showInvalidCardNumber() override;
    bool deactivationPasswordSet() const override;
    void subDeactivationPassword() override;
    void subDeactivate() override;
    void subActivate() override;
    void subShowBlockScreen() override;
    void funStopSession(bool noReboot) override;
    void unloadDeactivationPasswordDialog() override;
    void languageChosen(int entry) override;
    std::string funFormatTime(int64_t seconds) const override;

    // StatusHost
    int sessionType() const override;
    int state() const override;
    std::string userId() const override;
    bool hideAllStatusWindows() const override;
    bool disableSessionCloseButton() const override;
    bool blockingDialogShown() const override;
    void hideMainForm() override;
    void subUnblock() override;
    void unloadPasswdChangeAndAbout() override;
    void showPasswdChange(QWidget* owner) override;
    void askPause(QWidget* owner) override;
    void askCloseSession(QWidget* owner) override;
    void askConnectedMode(ModeOptionOwner* owner) override;
    void askDisconnectedMode(ModeOptionOwner* owner) override;
    void sendChatMessage(const std::string& text) override;
    void setStopSessionMenuEnabled(bool enabled) override;
    QRect workArea() const override;

    // MainHost
    void subDefaultState() override;
    void quitRequested() override;
    void logOffRequested() override;
    void deactivateRequested() override;
    void toggleStatusWindows() override;
    void askStopSession() override;
    void showOptions() override;
    void showAbout(bool modal) override;
    void formUnloaded() override;
    bool aboutShown() const override;

    // MessageBoxes::Host
    void beep() override;
    void unloadPasswordDialogs() override;
    void setMsgBoxShown(bool shown) override;

    // ActionHost
    bool funPauseSession() override;
    void setSessionMode(int state) override;
    void setAppKillerEnabled(bool enabled) override;
    void subKillApps() override;

    Scheduler& m_scheduler;
    const RuntimeLayout& m_layout;
    Client* m_client = nullptr;
    FormHooks m_hooks;
    bool m_connected = false;
    std::unique_ptr<MessageBoxes> m_boxes;
    std::unique_ptr<frmBlock> m_block;
    std::unique_ptr<frmMain> m_main;
    std::unique_ptr<StatusWindows> m_status;
    std::vector<LangEntry> m_languages;
    int64_t m_unblockSeconds = 120;
};

} // namespace tlv
