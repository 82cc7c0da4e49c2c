#pragma once

#include <cstdint>
#include <string>

namespace tlv {

// The forms of the client, by their given names.
enum class FormId {
    frmMain,
    frmBlock,
    frmAbout,
    frmMsgBox,
    frmSmallStatus,
    frmMicroStatus,
    frmStatus,
    frmPasswd,       // deactivation password
    frmPasswdChange, // password change
    frmPasswdClose,  // quit password
    frmPasswdLogOff,
    frmOptions,
    frmSetupWizard,
};
const char* formName(FormId id);

// What the lock screen shows for a state (the lock-screen form decides the layout).
enum class BlockControls { None, Active, Blocked, SessionEnd, NoMoreCredit, Paused, Locked };
enum class BlockFocus { None, LoginControls, UnPause, ReCnx };

struct BlockScreenView {
    int state = 0;
    BlockControls controls = BlockControls::None;
    bool followServer = false;       // state 11: only fraFollowServer is visible
    std::string messageFile;         // empty: no message document
    bool resetSessionChoice = false; // state 2: mode preselected, card number box emptied
    bool connectedMode = true;       // state 2: optConnected, else optDisconnected
    bool hideCardNumber = false;     // "*" for every character
    std::string logoPath;
    bool topmost = true;              // not under "-t"
    bool rechargeEnabled = false;     // state 8: cmdReCnx only while the server link is up
    bool startCloseCountdown = false; // state 8: frmBlock's tmrCloseSession
    BlockFocus focus = BlockFocus::None;
    bool sandbox = false; // the lock screen says that nothing is really locked
    bool operator==(const BlockScreenView&) const = default;
};

// The lock-screen preselection of the session type (Default Usage).
enum class UsageSelection {
    Nothing,
    SelectClient,
    SelectSelfService,
    SelectCard,
    ClearAll,
    HideChoice
};
enum class LockOption { SelfService, Card, Client };

// The standard message box of funMsg.
enum class MsgButtons { OK, YesNo };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgAnswer { OK, Yes, No };

struct MsgBoxStyle {
    MsgButtons buttons = MsgButtons::OK;
    MsgIcon icon = MsgIcon::None;
    bool secondButtonDefault = false;
    bool systemModal = false;
    bool foreground = false;
    bool operator==(const MsgBoxStyle&) const = default;
};

// Everything the core does to the forms. The Qt forms implement it; until they exist the
// client runs with an implementation that only logs.
class FormsPort {
public:
    virtual ~FormsPort() = default;
    virtual bool isLoaded(FormId id) const = 0;
    virtual void load(FormId id) = 0;
    virtual void unload(FormId id) = 0;
    virtual void hide(FormId id) = 0;

    // Lock screen (frmBlock).
    virtual void showBlockScreen(const BlockScreenView& view) = 0;
    virtual bool lockOptionEnabled(LockOption option) const = 0;
    virtual void applyDefaultUsage(UsageSelection selection) = 0;
    virtual void stopCloseSessionCountdown() = 0;

    // Main form. Its position is kept in twips, 15 to the pixel.
    static constexpr int kTwipsPerPixel = 15;
    struct ScreenSize {
        int widthTwips = 0;
        int heightTwips = 0;
    };
    // The primary screen, for the main form's default position.
    virtual ScreenSize screenSize() const = 0;
    virtual void showMain(bool topmostWithFocus) = 0;
    virtual void fitMainToControls() = 0;
    // Disabled workstation: cmdActiver disabled, the status label, cmdQuit default and focused.
    virtual void showMainDisabled(const std::string& statusText) = 0;

    // About box as a splash, centred over the saved main-window position or on the screen.
    virtual void showAboutSplash(bool overMainWindow) = 0;
    // Returns when the wizard is closed.
    virtual void showSetupWizardModal() = 0;

    // The password dialogs of the main form's quit, deactivate and log-off commands.
    virtual void subQuitPassword() {}
    virtual void subDeactivationPassword() {}
    virtual void subLogOffPassword() {}

    // The standard message box; returns the answer.
    virtual MsgAnswer showStandardMessage(const std::string& text, const std::string& title,
                                          const MsgBoxStyle& style) = 0;
};

} // namespace tlv
