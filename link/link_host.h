#pragma once

// What the server link needs of the rest of the client: the state machine, the session
// variables and tariffs, the forms, the string table, the settings store, and the parts that
// other subsystems fill (file transfer, session snapshot, workstation control). The client
// object implements these over its own parts; tests implement them with recorders.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tlv {

struct ConstWksn;

// Switches of the command line the link reads and, on the server's own PC, sets.
struct LinkFlags {
    bool noLockdown = false;     // "-t"
    bool noKill = false;         // "-k"
    bool noUserLockdown = false; // "-l"
};

struct KilledAppsOptions {
    int killIE = 0, killMozilla = 0, killNetscape = 0, killOutlookExpress = 0;
    bool hasList = false;
    std::vector<std::string> forbidden;
};
struct CleanupOptions {
    int arrangeIcons = 0, clearRecentDocs = 0, resetWallpaper = 0, resetStartPage = 0,
        resetBrowser = 0;
    std::string startPage;
    int clearMessenger = 0;
};

// Workstation state machine (the client object).
class WorkstationPort {
public:
    virtual ~WorkstationPort() = default;
    virtual int state() const = 0;
    virtual void setState(int s) = 0;
    virtual int previousState() const = 0;
    virtual void setPreviousState(int s) = 0;
    virtual int sessionType() const = 0;
    virtual void setSessionType(int t) = 0;
    virtual bool disabled() const = 0;

    virtual void subShowBlockScreen() = 0;
    virtual bool funStartSession() = 0;
    virtual bool funStopSession() = 0;
    virtual bool funPauseSession() = 0;
    virtual bool funLockSession() = 0;
    virtual bool funFollowSession() = 0;
    virtual bool funUnPauseSession() = 0;
    virtual void subActivate() = 0;
    virtual void subLock() = 0;
    virtual void subDisableWksn(const std::string& reason) = 0;
    virtual void subSetDefaultUsage() = 0;
    virtual void subShutdown(int mode, const std::string& reason) = 0;
    // The client's part of subUserInit: the clock cleared, state and previous state reset.
    virtual void subUserInit() = 0;
    // LockWksn and ActivateWksn: the session-end batch in state 4, the reboot option.
    virtual void onServerLockWksn() = 0;
    virtual void onServerActivateWksn() = 0;
    // Both languages and charsets, saved in "General".
    virtual void subSetDefaultLanguage(const std::string& suffix, int charset) = 0;
    virtual LinkFlags commandFlags() const = 0;
    virtual void setCommandFlags(const LinkFlags& f) = 0;
    virtual bool msgBoxShown() const = 0;
    // SessBatchStart / SessBatchEnd: 1 runs the batch at session start / end.
    virtual void setSessionBatch(bool start, int value) = 0;
    // tmrAppKiller of the main form (disconnected-mode sessions only).
    virtual void setAppKillerEnabled(bool on) = 0;
};

// Session clock values and tariffs. Durations and dates as on the wire (days).
class SessionPort {
public:
    virtual ~SessionPort() = default;
    virtual double elapsedTime() const = 0;
    virtual double connectedTime() const = 0;
    virtual double offPeakTime() const = 0;
    virtual double disconnectedTime() const = 0;
    virtual double remainingTime() const = 0;
    virtual double displayedRemaining() const = 0;
    virtual float amountDue() const = 0;
    // Server time minus local time, in days.
    virtual double serverTimeOffset() const = 0;

    // remaining = credit; validity; unlimited = (flag > 0); credit time += credit.
    virtual void onSessionOK(double remaining, double validity, int unlimited) = 0;
    // remaining and credit += added; validity; displayed remaining at the off-peak rate.
    virtual void onRechargeCard(double added, double validity) = 0;
    // Offset = date - now; a session locked by a clock change resumes.
    virtual void onServerDate(double serverDate) = 0;
    virtual void setPostPaid(int rechargeBased, double billingIncrement, double minimumBilling,
                             int autoOptimise, double extra) = 0;
    // (duration, price) rows.
    virtual void setRecharges(const std::vector<std::pair<double, float>>& rows) = 0;
    virtual void setRatioDisconnected(int percent) = 0;
    virtual void setCurrency(const std::string& symbol, const std::string& format) = 0;
    virtual void setOffPeak(int ratio, double end, double start) = 0;
    virtual void setWarnings(int timeWarnings, int firstMinutes, int secondMinutes,
                             int amountWarning, float amountStep) = 0;
    // The constants changed (the currency marker genCurrencySymb among them).
    virtual void constantsChanged() {}
    // The link is up: a clock change still waiting for the server's date asks again.
    virtual void serverConnected() {}
};

// The forms, addressed by their given form and control names ("frmBlock", "cmdCxn").
enum class LinkMsgAction { None, ResumeSession, PauseSession };
class LinkForms {
public:
    virtual ~LinkForms() = default;
    virtual void setEnabled(std::string_view form, std::string_view control, bool on) = 0;
    virtual void setVisible(std::string_view form, std::string_view control, bool on) = 0;
    virtual void setCaption(std::string_view form, std::string_view control,
                            const std::string& text) = 0;
    virtual void setToolTip(std::string_view form, std::string_view control,
                            const std::string& text) = 0;
    // Option buttons and check boxes.
    virtual void setValue(std::string_view form, std::string_view control, bool on) = 0;
    virtual void setText(std::string_view form, std::string_view control,
                         const std::string& text) = 0;
    virtual void setFocus(std::string_view form, std::string_view control) = 0;
    virtual void setTimer(std::string_view form, std::string_view timer, bool running) = 0;
    virtual void setHourglass(std::string_view form, bool on) = 0;
    // The lock screen's own enabling rule for cmdCxn; the connected/not-connected picture.
    virtual void applyConnectRule() = 0;
    virtual void setConnectedPicture(bool connected) = 0;
    virtual void setCardMasked(bool masked) = 0;
    virtual void setTopmost(std::string_view form, bool on) = 0;
    virtual void setUnblockDelay(double duration) = 0;
    virtual void reloadLockMessage() = 0;

    virtual bool isLoaded(std::string_view form) const = 0;
    virtual void unload(std::string_view form) = 0;
    virtual void subShowMsgBox(const std::string& text, bool yesNo, bool defaultYes,
                               LinkMsgAction action, std::string_view owner) = 0;
    virtual void subShowStatus() = 0;
    virtual void subSetCloseButtons() = 0;
    virtual void subLocalizeInterface() = 0;
    // Chat panel: the manager's line arrives (history, open, refresh, focus).
    virtual void chatManagerLine(const std::string& text) = 0;
    virtual void setPauseButtons(bool shown) = 0;
};

class StringsPort {
public:
    virtual ~StringsPort() = default;
    virtual std::string funLoadResString(int id) const = 0;
    virtual std::string funLoadResStringDefault(int id) const = 0;
};

// Values the server changes that are kept in the settings store.
class SettingsPort {
public:
    virtual ~SettingsPort() = default;
    // A General value: REG_SZ text or a REG_DWORD.
    virtual void saveGeneralText(const std::string& name, const std::string& value) = 0;
    virtual void saveGeneralNumber(const std::string& name, uint32_t value) = 0;
    // Scrambled with the string-table key before it is stored.
    virtual void saveAdminPassword(const std::string& clearText) = 0;
    virtual void subSetConstWksn(const ConstWksn& c) = 0;
    virtual bool fileExistsInDataFolder(const std::string& name) const = 0;
    // Last-modified date (Date serial) of a file in the data folder.
    virtual double fileDateInDataFolder(const std::string& name) const = 0;
};

// Filled by the file-transfer, snapshot and control subsystems; no-ops until they exist.
class ExtensionsPort {
public:
    virtual ~ExtensionsPort() = default;
    // Temp-file mode for very large messages.
    virtual bool tempFileMode() const { return false; }
    virtual bool enterTempFileMode(std::string_view /*buffered*/) { return false; }
    // Wire bytes of one read while the mode is on; true when the end token arrived: rest is
    // what followed it, synthetic the header + FileTemp message to dispatch.
    virtual bool tempFileData(std::string_view /*data*/, std::string& /*rest*/,
                              std::string& /*synthetic*/) {
        return false;
    }
    // A new connection: what the old one left unfinished in the file is dropped.
    virtual void leaveTempFileMode() {}
    virtual void subProcessReceivedFile(int /*kind*/, const std::string& /*content*/) {}
    virtual void subSerializeUser() {}
    virtual void subInitSerializedUser() {}
    virtual void subEmptySerializedUser() {}
    virtual void setKilledApps(const KilledAppsOptions&) {}
    virtual void setCleanup(const CleanupOptions&) {}
    virtual void setBatchStyle(int) {}
    virtual std::string networkIdentity() const { return {}; }
};

} // namespace tlv
