#pragma once

// The application killer: funCloseAllApps at the start and end of a session, and subKillApps
// with tmrAppKiller during disconnected-mode sessions.

#include "platform/app_closing_port.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tlv {

class BrowserAccessibility;
class Logger;
class ProcManager;
class Scheduler;

// The forbidden programs, as the server sends them ("%$&######KilledApps#"); memory only.
struct KilledAppsSettings {
    bool killInternetExplorer = false;
    bool killMozilla = false;
    bool killNetscape = false;
    bool killOutlookExpress = false;
    std::optional<std::vector<std::string>> forbidden; // absent until a list was received
};

// A program name of the Windows program ("firefox.exe") against the executable of a process
// ("firefox", or "firefox.exe" under wine): whole names, case-insensitive, no wildcards, no
// paths; a name without ".exe" matches nothing.
bool matchesProgramName(const std::string& exeName, const std::string& programName);
// The names a setting forbids, the Linux executables of the same programs included.
std::vector<std::string> mozillaFamilyNames();

// The customer's message after a killing pass: strings 10000 + 10186, a line break, 10187.
std::string killedAppsMessage(const std::function<std::string(int)>& resString);

class AppKiller : public AppClosingPort {
public:
    AppKiller(ProcManager& procs, BrowserAccessibility& accessibility, Scheduler& scheduler,
              Logger& log);
    ~AppKiller();

    // Setters for the server link.
    void setKillFlags(bool ie, bool mozilla, bool netscape, bool outlookExpress);
    // The payload fields of "%$&######KilledApps#": a flag is on only when its field is exactly
    // 1; the list is replaced only when the fifth field is there. Throws TlvError 9 when fewer
    // than four fields came.
    void applyKilledAppsFields(const std::vector<std::string>& fields);
    // Replaces the list; names are separated by "*".
    void setForbiddenList(const std::string& starSeparated);
    const KilledAppsSettings& settings() const { return m_settings; }

    // Command line: "-k" closes nothing, "-d" spares the debugger and development tools.
    void setNoKill(bool noKill) { m_noKill = noKill; }
    void setDebug(bool debug) { m_debug = debug; }

    // Step 1 of funCloseAllApps: the program's message box is unloaded when it is shown.
    void setUnloadMessageBox(std::function<void()> fn) { m_unloadMessageBox = std::move(fn); }
    // Shows the customer killedAppsMessage in the program's own message box.
    void setShowKilledMessage(std::function<void()> fn) { m_showKilled = std::move(fn); }

    // The port of the state machine: the closing goes on in timer ticks after the call.
    bool funCloseAllApps() override;
    void subKillApps() override;
    // done runs when every application was closed or terminated.
    void closeAllApps(std::function<void()> done);
    void killApps(std::function<void()> done);

    // The event of tmrAppKiller (the client's timer, enabled for disconnected-mode sessions).
    void tmrAppKiller_Timer();

private:
    void killBrowserWindows(std::shared_ptr<bool> killed, std::function<void()> done);
    void endKillPass(bool killed, std::function<void()> done);

    ProcManager& m_procs;
    BrowserAccessibility& m_accessibility;
    Scheduler& m_scheduler;
    Logger& m_log;
    KilledAppsSettings m_settings;
    bool m_noKill = false;
    bool m_debug = false;
    bool m_killRunning = false;
    std::function<void()> m_unloadMessageBox;
    std::function<void()> m_showKilled;
    std::shared_ptr<bool> m_alive;
};

} // namespace tlv
