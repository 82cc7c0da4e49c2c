#pragma once

#include "core/localization.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/session_clock.h"
#include "core/settings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tlv {

class AppClosingPort;
class Autostart;
class BatchPort;
class CleanupPort;
class Clock;
class FormsPort;
class GuardPort;
class Hive;
class InstanceLock;
class LangPackStore;
class ProcessExit;
class Scheduler;
class SessionEndPort;
class ShellLockdown;
class SoundMute;
class StatusPort;
class SystemInfo;
class Timer;
class TrayPort;
struct RuntimeLayout;

// Workstation states; the code is also the number reported to the server.
enum WksnState : int {
    kStateNone = 0,
    kStateDeactivated = 1,
    kStateActive = 2,
    kStateBlocked = 3,
    kStateSessionEnd = 4,
    kStateDisconnected = 5,
    kStateConnected = 6,
    kStateFree = 7,
    kStateNoCredit = 8,
    kStatePaused = 9,
    kStatePausedLocked = 10,
    kStateFollowServer = 11,
};

// Session types; the same codes serve as Default Usage.
enum SessionType : int {
    kSessionSelfService = 1,
    kSessionCard = 2,
    kSessionFree = 3,
    kSessionClient = 4,
    kSessionServerOpened = 5,
};

bool funStateIsBlocked(int state);

// The command line rule: lower case, "/" becomes "-", each option a plain substring.
struct CommandLine {
    bool debug = false;             // "-d"
    bool noLockdown = false;        // "-t"
    bool noKill = false;            // "-k"
    bool noUserLockdown = false;    // "-l"
    bool multipleInstances = false; // "-m"
    static CommandLine parse(const std::string& commandLine);
};

// The display the client runs on (the platform check of the start-up).
enum class DisplayKind { X11, Offscreen, Wayland, Unsupported };

// Everything the client reaches the machine through. The references must outlive the client.
struct ClientPorts {
    const Clock& clock;
    Scheduler& scheduler;
    Hive& machineHive;
    Hive& userHive;
    const SystemInfo& systemInfo;
    const RuntimeLayout& layout;
    ShellLockdown& lockdown;
    SoundMute& mute;
    FormsPort& forms;
    StatusPort& status;
    TrayPort& tray;
    CleanupPort& cleanup;
    BatchPort& batch;
    AppClosingPort& apps;
    SessionEndPort& sessionEnd;
    InstanceLock& instanceLock;
    ProcessExit& processExit;
    LangPackStore& langPacks;
    Autostart& autostart;
    // The session guard, when one started this client.
    GuardPort* guard = nullptr;
};

// The buttons and actions of the program's own message box.
enum class MsgAction {
    Empty,          // clsActionEmpty
    PauseSession,   // clsActionPauseSession
    UnPauseSession, // clsActionUnPauseSession
    CloseSession,   // clsActionCloseSession
    Connected,      // clsActionConnected
    Disconnected,   // clsActionDisconnected
};

// What the server link, the session clock and the workstation control plug in (app/assembly.h
// fills them; newBrowserList stays empty: the URL monitor lists the browsers afresh at each
// pass). Empty slots do nothing.
struct ClientHooks {
    std::function<void()> tmrSrvCnxStatus_Timer; // connection supervision (500 ms)
    std::function<void()> tmrWksnStatus_Timer;   // state report, heartbeat, snapshot (500 ms)
    std::function<void()> tmrURLspy_Timer;       // browser URL report (500 ms)
    std::function<void()> tmrAppKiller_Timer;    // forbidden applications (10000 ms)
    std::function<void()> newBrowserList;        // fresh browser list at session start
    std::function<void()> closeSockets;          // wskFindServer and wskCli
    std::function<bool()> serverLinkUp;          // recharge button of the no-credit screen
    std::function<void()> subUserInit;           // the rest of the session record
    std::function<void()> subForceUpdate;        // immediate report of exhausted credit
    std::function<void()> requestServerDate;     // "%$&######ServerDate#" after a clock change
    std::function<void()> emptySnapshot;         // "Serialized User" emptied before a reboot
    std::function<void(const StatusTexts&)> setStatusTexts; // labels of the status windows
    // The program's message box (text, Yes/No, No default, action); OK only when not yesNo.
    std::function<void(const std::string&, bool yesNo, bool noDefault, MsgAction)> subShowMsgBox;
};

// The client object: owns the state, the log, the settings, the texts, the timers and the flags.
// Everything runs on one thread in timer ticks and events; waits are timers with continuations.
class Client {
public:
    explicit Client(const ClientPorts& ports);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Start-up. Returns at once; the start delay continues on a timer.
    void Main(const std::string& commandLine, DisplayKind display);
    void subInitApp();
    void subCheckForRunningWksn();
    bool funShutdownApplication(bool endProcess);
    void subShutdown(int exitFlags, const std::string& question);
    void tmrActivateClient_Timer();
    void tmrActiveTrayIcon_Timer();
    // The main form's commands.
    void cmdActiver_Click();
    void cmdQuit_Click(); // also mnuQuit
    // Staff quit the client (after the quit password when one is set).
    void subStaffQuit();
    void cmdShutdown_Click(); // also mnuLogOff
    void mnuDeactivate_Click();
    // Tray icon clicks count only while a session or a lock screen of one is up (states 3-8).
    bool trayCallbacksHandled() const {
        return m_state >= kStateBlocked && m_state <= kStateNoCredit;
    }

    // State machine.
    void subDefaultState();
    void subActivate();
    void subDeactivate();
    void subLock();
    void subDisableWksn(const std::string& reason);
    bool funStartSession();
    bool funStopSession(bool noReboot);
    bool funPauseSession();
    bool funLockSession();
    bool funFollowSession();
    bool funUnPauseSession();
    void subShowBlockScreen();
    void subUnblock();
    void subSetDefaultUsage();
    void subUserInit();
    // The server's lock and activate commands: in state 4 the session-end batch runs first;
    // activating may reboot after a self-service session (not under "-d").
    void onServerLockWksn();
    void onServerActivateWksn();
    // Message file for the state ("Intro", "Blocked", ...); empty for states without one.
    std::string messageFileFor(int state);

    // The server's default language ("_fr", charset): both languages change, every loaded
    // form is re-localized, "Interface Language" and its charset are saved.
    void subSetDefaultLanguage(const std::string& suffix, int charset);

    MsgAnswer funMsg(int number, const std::optional<std::string>& p1 = {},
                     const std::optional<std::string>& title = {});

    // State.
    int state() const { return m_state; }
    int previousState() const { return m_previousState; }
    int sessionType() const { return m_sessionType; }
    // For the callers that set a session up before funStartSession, and for tests.
    void setState(int state) { m_state = state; }
    void setPreviousState(int state) { m_previousState = state; }
    void setSessionType(int type) { m_sessionType = type; }
    bool disabled() const { return m_disabled; }
    bool shuttingDown() const { return m_shuttingDown; }
    bool clientStarted() const { return m_clientStarted; }
    bool& msgBoxShown() { return m_msgBoxShown; }
    // Server settings for the batch hooks.
    bool& sessionStartBatchEnabled() { return m_startBatch; }
    bool& sessionEndBatchEnabled() { return m_endBatch; }
    double sessionExpiryCountdown() const { return m_sessionExpiryCountdown; }
    SessionClock& sessionClock() { return *m_sessionClock; }
    int64_t userInitUtcMs() const { return m_userInitUtcMs; }
    // The Yes (button 1) or No (button 2) procedure of an action.
    void subExecuteCommandButton(MsgAction action, int button);

    CommandLine& flags() { return m_flags; }
    ConstWksn& constants() { return m_const; }
    SystemSettings& settings() { return m_sys; }
    UserSettings& userSettings() { return m_userSettings; }
    SettingsStore& store() { return *m_store; }
    Logger& log() { return m_log; }
    Localization& texts() { return m_loc; }
    ClientHooks& hooks() { return m_hooks; }
    const ClientPorts& ports() const { return m_ports; }
    // The last step label of Main.
    const std::string& mainStep() const { return m_mainStep; }

    Timer& tmrActivateClient() { return *m_tmrActivateClient; }
    Timer& tmrSrvCnxStatus() { return *m_tmrSrvCnxStatus; }
    Timer& tmrWksnStatus() { return *m_tmrWksnStatus; }
    Timer& tmrURLspy() { return *m_tmrURLspy; }
    Timer& tmrAppKiller() { return *m_tmrAppKiller; }
    Timer& tmrActiveTrayIcon() { return *m_tmrActiveTrayIcon; }

private:
    void mainAfterStartDelay();
    void mainError(const std::exception& e);
    void trace(const std::string& text) { m_log.trace(text); }
    bool guardDialogs() const;
    void enterBlockedDefault(int newState, bool clearMsgBoxShown);
    void lockdownSwitches(bool on);
    bool pauseTo(int target, const char* context);
    void shutdownAfterDelay(int exitFlags);
    // Tells the session guard that staff ended the customers' use (true) or gave it back.
    void tellGuard(bool released, const char* why);
    bool startedAgain() const;
    void call(const std::function<void()>& hook) {
        if (hook)
            hook();
    }

    ClientPorts m_ports;
    Logger m_log;
    Localization m_loc;
    std::unique_ptr<SettingsStore> m_store;
    ConstWksn m_const;
    SystemSettings m_sys;
    UserSettings m_userSettings;
    CommandLine m_flags;
    ClientHooks m_hooks;
    class ClockHost;
    std::unique_ptr<ClockHost> m_clockHost;
    std::unique_ptr<SessionClock> m_sessionClock;
    int64_t m_userInitUtcMs = 0;
    DisplayKind m_display = DisplayKind::X11;

    int m_state = kStateNone;
    int m_previousState = kStateNone;
    int m_sessionType = 0;
    bool m_disabled = false;
    bool m_shuttingDown = false;
    bool m_clientStarted = false;
    bool m_msgBoxShown = false;
    bool m_trayBlinkPhase = false;
    bool m_startBatch = false;
    bool m_endBatch = false;
    bool m_processEnded = false;
    bool m_guardReleased = false;
    int m_exitCode = 0;
    double m_sessionExpiryCountdown = 0;
    std::string m_mainStep;
    std::string m_dataFolder;
    std::string m_iniPath;

    std::unique_ptr<Timer> m_tmrActivateClient;
    std::unique_ptr<Timer> m_tmrSrvCnxStatus;
    std::unique_ptr<Timer> m_tmrWksnStatus;
    std::unique_ptr<Timer> m_tmrURLspy;
    std::unique_ptr<Timer> m_tmrAppKiller;
    std::unique_ptr<Timer> m_tmrActiveTrayIcon;
    // The waits of the start-up and of subShutdown.
    std::unique_ptr<Timer> m_startDelay;
    std::unique_ptr<Timer> m_shutdownDelay;
};

} // namespace tlv
