#pragma once

#include "core/localization.h"
#include "ui/form_text.h"

#include <QColor>
#include <QPointer>
#include <QWidget>

class QPushButton;

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class frmBlock;
}

namespace tlv {

class Scheduler;
class Timer;

// What the lock screen calls into; the client (state machine, link, clock) implements it.
class BlockHost {
public:
    virtual ~BlockHost() = default;
    virtual bool serverConnected() const = 0;
    // Sends the session request and waits for the answer; calls back into the form to disable
    // the login panel and to start tmrActivateTimeout when the wait ends.
    virtual void subStartConnexion(int sessionType, int sessionMode, const std::string& id,
                                   const std::string& password) = 0;
    virtual void subCheckBalance() = 0;
    virtual void funUnPauseSession() = 0;
    // The close-session question (string 10184, Yes/No, No default, close-session action).
    virtual void askCloseSession() = 0;
    // The invalid card number message (string 10104, OK) over the lock screen.
    virtual void showInvalidCardNumber() = 0;
    // Administrator or manager password set: the gesture goes through the password dialog.
    virtual bool deactivationPasswordSet() const = 0;
    virtual void subDeactivationPassword() = 0;
    virtual void subDeactivate() = 0;
    virtual void subActivate() = 0;
    virtual void subShowBlockScreen() = 0;
    virtual void funStopSession(bool noReboot) = 0;
    virtual void unloadDeactivationPasswordDialog() = 0;
    // A language chosen in cmbLanguage: entry number of the language table.
    virtual void languageChosen(int entry) = 0;
    virtual std::string funFormatTime(int64_t seconds) const = 0;
};

struct LanguageItem {
    std::string westernName;
    int entry = 0;
    std::string nativeName;
};

// The lock screen: covers every screen while the workstation is blocked.
class frmBlock : public QWidget {
    Q_OBJECT
public:
    frmBlock(Scheduler& scheduler, FormText text, BlockHost& host, bool noLockdown,
             QWidget* parent = nullptr);
    ~frmBlock() override;

    Ui::frmBlock& ui() { return *m_ui; }
    void subLocalizeInterface();
    // Shown maximized over its whole screen, with or without a window manager.
    void showCoveringScreen();

    // Part of subShowBlockScreen: the frames of a state (2, 3, 4, 8, 9, 10, 11).
    void showStateFrames(int state);
    int stateShown() const { return m_state; }
    // Entering state 2: boxes emptied, usage and mode preselected.
    void resetLoginPanel(int defaultUsage, bool connectedMode);
    void setMessageFile(const std::string& path);
    void setLogo(const QPixmap& logo);
    // The panel's colour: the message documents and a logo's transparent parts are drawn
    // over it.
    static QColor panelColour() { return QColor(22, 33, 52); }
    // State 11: the manager's screen; without a picture, a sentence saying what the pause is.
    void setFollowedScreen(const QPixmap& screen);
    void setHideCardNumber(bool hide);
    void setWorkstationName(const std::string& name);
    void setVersionText(const std::string& version);
    void setSandbox(bool sandbox);
    // With the language table, every item shows its flag and imgFlags the chosen one.
    void fillLanguages(const std::vector<LanguageItem>& languages, int currentEntry,
                       const std::vector<LangEntry>& table = {});
    // Shows the item of a language table entry as chosen, with its flag.
    void selectLanguage(int entry);
    // The list is sorted by the languages' own names and shows them with the Western names.
    static std::vector<LanguageItem> sortedLanguages(std::vector<LanguageItem> languages);
    static QString languageCaption(const LanguageItem& language);

    // Connection indicator, driven by the connection supervisor.
    void setServerConnected(bool connected);
    // subStartConnexion's wait: the panel is disabled, then restored by tmrActivateTimeout.
    void beginConnexionWait();
    void endConnexionWait();
    // After a refusal: the used boxes are emptied and the first box gets the focus.
    void clearAfterRefusal();

    void startCloseSessionCountdown(int64_t seconds);
    void stopCloseSessionCountdown();
    bool closeSessionCountdownRunning() const;
    void startUnblockCountdown(int64_t seconds);
    void stopUnblockCountdown();
    // cmdCxn enabled when the server is connected and the chosen usage has what it needs.
    void applyConnectRule();
    int64_t closeSessionCountdown() const { return m_sessionExpiry; }

    // Card-number and login filters; the caret keeps its logical place.
    static bool filterDigits(QString& text, int& caret);
    static bool filterLogin(QString& text, int& caret);
    static QString illegalLoginCharacters();
    static bool isValidCardNumber(const QString& text);

    void cmdCxn_Click();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void optCard_Click();
    void OptClient_Click();
    void optSelfService_Click();
    void txtCardNum_Change();
    void txtLogin_Change();
    void tmrActivateTimeout_Timer();
    void tmrCloseSession_Timer();
    void tmrUnblock_Timer();
    void tmrNoServCnx_Timer();
    void deactivationGesture();
    QPushButton* defaultButton() const;
    void setTopmost(bool topmost);
    void updateCxnEnabled();
    bool loginRuleAllowsCxn() const;
    void updateIndicatorTip();
    void applyScale();
    // The message takes the room the other rows leave between the header and the footer.
    void fitPanel();
    // The manager's screen fills what the header leaves.
    void placeFollowedScreen();
    void updateServerLost();
    void coverOtherScreens(bool cover);

    std::unique_ptr<Ui::frmBlock> m_ui;
    FormText m_text;
    BlockHost& m_host;
    bool m_noLockdown;
    std::unique_ptr<Timer> m_tmrActivateTimeout;
    std::unique_ptr<Timer> m_tmrCloseSession;
    std::unique_ptr<Timer> m_tmrUnblock;
    std::unique_ptr<Timer> m_tmrNoServCnx;
    int m_state = 2;
    std::vector<LangEntry> m_languageTable;
    bool m_connected = false;
    bool m_blinkPhase = false;
    bool m_filtering = false;
    int64_t m_sessionExpiry = 0;
    int64_t m_unblockCountdown = 0;
    double m_scale = 0;
    std::string m_messageFile;
    QPixmap m_logo;
    QPixmap m_followed;
    std::vector<QPointer<QWidget>> m_covers;
};

} // namespace tlv
