#include "control/app_killer.h"

#include "control/clsInetexplorer.h"
#include "control/modProcManager.h"
#include "core/error.h"
#include "core/log.h"
#include "platform/scheduler.h"

#include <algorithm>
#include <set>

namespace tlv {

bool matchesProgramName(const std::string& exeName, const std::string& programName) {
    if (exeName.empty() || programName.empty())
        return false;
    // The Windows name of a Linux executable: "x" is the program "x.exe" (a wine program keeps
    // its own name), so a name without its extension matches nothing, as on Windows.
    std::string windowsName = lowerAscii(exeName);
    if (!windowsName.ends_with(".exe"))
        windowsName += ".exe";
    return windowsName == lowerAscii(programName);
}

std::vector<std::string> mozillaFamilyNames() {
    return {"mozilla.exe", "firefox.exe", "thunderbird.exe", "firefox-esr.exe", "firefox-bin.exe"};
}

std::string killedAppsMessage(const std::function<std::string(int)>& resString) {
    return resString(10000) + resString(10186) + "\r\n" + resString(10187);
}

AppKiller::AppKiller(ProcManager& procs, BrowserAccessibility& accessibility, Scheduler& scheduler,
                     Logger& log)
    : m_procs(procs), m_accessibility(accessibility), m_scheduler(scheduler), m_log(log),
      m_alive(std::make_shared<bool>(true)) {}

AppKiller::~AppKiller() {
    *m_alive = false;
}

void AppKiller::setKillFlags(bool ie, bool mozilla, bool netscape, bool outlookExpress) {
    m_settings.killInternetExplorer = ie;
    m_settings.killMozilla = mozilla;
    m_settings.killNetscape = netscape;
    m_settings.killOutlookExpress = outlookExpress;
}

void AppKiller::applyKilledAppsFields(const std::vector<std::string>& fields) {
    if (fields.size() < 4)
        throw TlvError(kErrSubscript, "Subscript out of range");
    auto on = [&](size_t i) {
        const std::string& f = fields[i];
        const auto b = f.find_first_not_of(' ');
        return b != std::string::npos && f.substr(b, f.find_last_not_of(' ') - b + 1) == "1";
    };
    setKillFlags(on(0), on(1), on(2), on(3));
    if (fields.size() > 4)
        setForbiddenList(fields[4]);
}

void AppKiller::setForbiddenList(const std::string& starSeparated) {
    std::vector<std::string> names;
    size_t start = 0;
    while (true) {
        const size_t star = starSeparated.find('*', start);
        names.push_back(starSeparated.substr(start, star - start));
        if (star == std::string::npos)
            break;
        start = star + 1;
    }
    m_settings.forbidden = std::move(names);
}

bool AppKiller::funCloseAllApps() {
    closeAllApps({});
    return true;
}

void AppKiller::subKillApps() {
    killApps({});
}

void AppKiller::tmrAppKiller_Timer() {
    try {
        killApps({});
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.tmrAppKiller_TimerError", e);
    }
}

void AppKiller::closeAllApps(std::function<void()> done) {
    try {
        if (m_unloadMessageBox)
            m_unloadMessageBox();
        std::vector<ProcInfo> entries = m_procs.funGetWindowList(true);
        if (m_noKill)
            entries.clear();
        if (m_debug)
            std::erase_if(entries, [](const ProcInfo& e) { return isDevelopmentTool(e.ExeName); });
        m_procs.subCloseApps(std::move(entries), std::move(done));
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.funCloseAllAppsError", e);
        if (done)
            done();
    }
}

void AppKiller::killApps(std::function<void()> done) {
    // A pass still waiting for windows to close is not started twice.
    if (m_killRunning) {
        if (done)
            done();
        return;
    }
    try {
        m_killRunning = true;
        auto killed = std::make_shared<bool>(false);
        const auto& s = m_settings;
        std::vector<std::string> names;
        if (s.killInternetExplorer)
            names.push_back("iexplore.exe");
        if (s.killNetscape)
            names.push_back("netscp.exe");
        if (s.killMozilla)
            for (auto& n : mozillaFamilyNames())
                names.push_back(n);
        if (s.killOutlookExpress)
            names.push_back("msimn.exe");
        // A one-name list is consulted like any other.
        if (s.forbidden)
            for (const auto& n : *s.forbidden)
                names.push_back(n);

        std::vector<ProcInfo> victims;
        std::set<int> seen;
        for (const ProcInfo& p : m_procs.funGetPoccessList(true)) {
            const bool forbidden = std::any_of(names.begin(), names.end(), [&](const auto& n) {
                return matchesProgramName(p.ExeName, n);
            });
            if (forbidden && seen.insert(p.ProcessID).second) {
                *killed = true;
                victims.push_back(p);
            }
        }
        // Process entries carry no window: they are terminated directly.
        m_procs.subCloseApps(std::move(victims));

        // Pending events run once before the browser windows are looked at.
        m_scheduler.post(
            [this, alive = std::weak_ptr<bool>(m_alive), killed, done = std::move(done)]() mutable {
                if (alive.expired() || !*alive.lock())
                    return;
                killBrowserWindows(killed, std::move(done));
            });
    } catch (const std::exception& e) {
        m_killRunning = false;
        m_log.subLogError("modFunctions.subKillAppsError", e);
        if (done)
            done();
    }
}

void AppKiller::killBrowserWindows(std::shared_ptr<bool> killed, std::function<void()> done) {
    try {
        if (!m_settings.killInternetExplorer) {
            endKillPass(*killed, std::move(done));
            return;
        }
        clsInetexplorer browsers(m_procs.windowSystem(), m_accessibility, m_log);
        browsers.Refresh();
        std::vector<ProcInfo> windows;
        for (int i = 1; i <= browsers.Count(); ++i) {
            const std::string url = browsers.ItemURL(i);
            const std::string title = browsers.ItemCaption(i);
            const std::string lower = lowerAscii(url);
            if (lower.starts_with("http") || lower.starts_with("ftp") || url == "about:blank" ||
                title == "about:blank" || url.find('/') != std::string::npos) {
                *killed = true;
                ProcInfo w;
                w.hWnd = browsers.ItemhWnd(i);
                w.WindowTitle = title;
                windows.push_back(std::move(w));
            }
        }
        m_procs.subCloseApps(std::move(windows), [this, alive = std::weak_ptr<bool>(m_alive),
                                                  killed, done = std::move(done)]() mutable {
            if (alive.expired() || !*alive.lock())
                return;
            endKillPass(*killed, std::move(done));
        });
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subKillAppsError", e);
        endKillPass(*killed, std::move(done));
    }
}

void AppKiller::endKillPass(bool killed, std::function<void()> done) {
    m_killRunning = false;
    try {
        if (killed && m_showKilled)
            m_showKilled();
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subKillAppsError", e);
    }
    if (done)
        done();
}

} // namespace tlv
