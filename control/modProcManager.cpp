#include "control/modProcManager.h"

#include "core/error.h"
#include "core/log.h"
#include "platform/processes.h"
#include "platform/scheduler.h"
#include "platform/window_system.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tlv {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

namespace {

bool inList(const std::string& exeName, const auto& names) {
    const std::string lower = lowerAscii(exeName);
    return std::find(names.begin(), names.end(), std::string_view(lower)) != names.end();
}

} // namespace

bool isDesktopShell(const std::string& exeName) {
    static constexpr std::array<std::string_view, 32> kShell = {
        "explorer.exe", "gnome-shell",      "gnome-panel",  "gnome-flashback",
        "plasmashell",  "kwin_x11",         "kwin_wayland", "kwin",
        "xfwm4",        "xfce4-panel",      "xfdesktop",    "xfce4-session",
        "nautilus",     "nautilus-desktop", "nemo",         "nemo-desktop",
        "caja",         "thunar",           "pcmanfm",      "pcmanfm-qt",
        "dolphin",      "lxpanel",          "lxqt-panel",   "openbox",
        "marco",        "mate-panel",       "muffin",       "cinnamon",
        "metacity",     "mutter",           "budgie-panel", "budgie-wm"};
    return inList(exeName, kShell);
}

bool isDevelopmentTool(const std::string& exeName) {
    static constexpr std::array<std::string_view, 12> kTools = {
        "gdb",    "lldb",     "rr",    "valgrind", "qtcreator", "code",
        "codium", "kdevelop", "clion", "strace",   "ltrace",    "gdbserver"};
    return inList(exeName, kTools);
}

struct ProcManager::CloseJob {
    struct Waiting {
        ProcInfo entry;
    };
    std::vector<Waiting> waiting;
    std::unique_ptr<Timer> timer;
    int64_t elapsedMs = 0;
    bool finished = false;
    std::function<void()> done;
};

ProcManager::ProcManager(ProcessTable& processes, WindowSystem& windows,
                         ProcessTerminator& terminator, Scheduler& scheduler, Logger& log)
    : m_processes(processes), m_windows(windows), m_terminator(terminator), m_scheduler(scheduler),
      m_log(log), m_alive(std::make_shared<bool>(true)) {}

ProcManager::~ProcManager() {
    *m_alive = false;
}

ProcInfo ProcManager::funGetProcInfo(int pid) {
    ProcInfo info;
    if (pid <= 0)
        return info;
    const ProcessEntry e = m_processes.entry(pid);
    // A process that cannot be seen, or one of another user, is never touched: not determined.
    if (e.pid <= 0 || e.uid != m_processes.ownUid())
        return info;
    if (!e.exeReadable || e.exePath.empty()) {
        info.ProcessID = -1;
        return info;
    }
    info.ProcessID = pid;
    info.ExePath = e.exePath;
    const auto slash = e.exePath.find_last_of('/');
    info.ExeName = slash == std::string::npos ? e.exePath : e.exePath.substr(slash + 1);
    return info;
}

std::vector<ProcInfo> ProcManager::funGetPoccessList(bool bRefresh) {
    if (bRefresh) {
        m_processList.clear();
        try {
            const uint32_t own = m_processes.ownUid();
            for (const ProcessEntry& e : m_processes.list()) {
                if (e.pid <= 0 || e.uid != own || !e.exeReadable || e.exePath.empty())
                    continue;
                ProcInfo info;
                info.ProcessID = e.pid;
                info.ExePath = e.exePath;
                const auto slash = e.exePath.find_last_of('/');
                info.ExeName = slash == std::string::npos ? e.exePath : e.exePath.substr(slash + 1);
                m_processList.push_back(std::move(info));
            }
        } catch (const std::exception& ex) {
            m_log.subLogError("modProcManager.subPopulatePoccessListError", ex);
        }
    }
    return m_processList;
}

std::vector<ProcInfo> ProcManager::funGetWindowList(bool bRefresh) {
    if (bRefresh) {
        m_windowList.clear();
        try {
            const int own = m_processes.ownPid();
            for (const WindowEntry& w : m_windows.topLevelWindows()) {
                if (w.pid == own || !w.visible || w.title.empty())
                    continue;
                const bool ordinary = w.hasOwner ? w.appWindow : !w.toolWindow;
                if (!ordinary)
                    continue;
                // A window whose owner cannot be found (a remote client, an X server without
                // the resource extension) is still listed: it is asked to close, never killed.
                ProcInfo info = funGetProcInfo(w.pid);
                if (info.ProcessID <= 0 && w.pid > 0)
                    continue;
                info.WindowTitle = w.title;
                info.hWnd = w.id;
                m_windowList.push_back(std::move(info));
            }
        } catch (const std::exception& ex) {
            // As with the enumeration callback: an error ends the walk, the list so far stays.
            m_log.subLogError("modProcManager.funEnumWindowsCallBackError", ex);
        }
    }
    return m_windowList;
}

bool ProcManager::touchable(const ProcInfo& entry) const {
    return entry.ProcessID > 0 && entry.ProcessID != m_processes.ownPid();
}

bool ProcManager::funKillProcess(const ProcInfo& entry) {
    try {
        if (!touchable(entry))
            return false;
        return m_terminator.terminate(entry.ProcessID, entry.ExePath, entry.ExeName);
    } catch (const std::exception&) {
        return false;
    }
}

void ProcManager::subCloseApp(const ProcInfo& entry, std::function<void()> done) {
    subCloseApps({entry}, std::move(done));
}

void ProcManager::subCloseApps(std::vector<ProcInfo> entries, std::function<void()> done) {
    auto job = std::make_unique<CloseJob>();
    job->done = std::move(done);
    for (ProcInfo& entry : entries) {
        try {
            if (entry.ProcessID == 0) {
                if (entry.hWnd == 0)
                    continue;
                const uint64_t hWnd = entry.hWnd;
                std::string title = entry.WindowTitle;
                const int pid = m_windows.windowPid(hWnd);
                if (pid == 0) {
                    m_windows.requestClose(hWnd, 0, {}, title);
                    continue;
                }
                entry = funGetProcInfo(pid);
                entry.hWnd = hWnd;
                entry.WindowTitle = std::move(title);
            }
            // Never the client itself, nor what it cannot identify as one of its user's.
            if (!touchable(entry))
                continue;
            if (entry.hWnd != 0) {
                m_windows.requestClose(entry.hWnd, entry.ProcessID, entry.ExeName,
                                       entry.WindowTitle);
                if (!isDesktopShell(entry.ExeName))
                    job->waiting.push_back({entry});
                continue;
            }
            if (isDesktopShell(entry.ExeName)) {
                // Even when named in a list, the shell is only asked to close its windows.
                for (const WindowEntry& w : m_windows.topLevelWindows())
                    if (w.pid == entry.ProcessID && w.visible)
                        m_windows.requestClose(w.id, entry.ProcessID, entry.ExeName, w.title);
                continue;
            }
            funKillProcess(entry);
        } catch (const std::exception& ex) {
            m_log.subLogError("modProcManager.subCloseAppError", ex);
        }
    }
    if (job->waiting.empty()) {
        if (job->done)
            job->done();
        return;
    }
    CloseJob* raw = job.get();
    job->timer = m_scheduler.createTimer([this, raw] { pollJob(raw); });
    job->timer->start(kClosePollMs);
    m_jobs.push_back(std::move(job));
}

void ProcManager::pollJob(CloseJob* job) {
    if (job->finished)
        return;
    job->elapsedMs += kClosePollMs;
    auto& w = job->waiting;
    try {
        w.erase(std::remove_if(
                    w.begin(), w.end(),
                    [this](const CloseJob::Waiting& x) { return !m_windows.exists(x.entry.hWnd); }),
                w.end());
    } catch (const std::exception& ex) {
        m_log.subLogError("modProcManager.subCloseAppError", ex);
    }
    if (!w.empty() && job->elapsedMs < kCloseGraceMs)
        return;
    for (const auto& x : w) {
        try {
            funKillProcess(x.entry);
        } catch (const std::exception& ex) {
            m_log.subLogError("modProcManager.subCloseAppError", ex);
        }
    }
    w.clear();
    finishJob(job);
}

void ProcManager::finishJob(CloseJob* job) {
    job->finished = true;
    job->timer->stop();
    auto done = std::move(job->done);
    // The timer is running this very call: the job goes away once the event has finished.
    m_scheduler.post([this, alive = std::weak_ptr<bool>(m_alive), job] {
        if (alive.expired() || !*alive.lock())
            return;
        m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(),
                                    [job](const auto& j) { return j.get() == job; }),
                     m_jobs.end());
    });
    if (done)
        done();
}

size_t ProcManager::pendingCloses() const {
    return static_cast<size_t>(
        std::count_if(m_jobs.begin(), m_jobs.end(), [](const auto& j) { return !j->finished; }));
}

} // namespace tlv
