#pragma once

// The process and window machinery: the process list, the top-level window list, the process
// terminator and subCloseApp, the one routine that closes an application.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tlv {

class Logger;
class ProcessTable;
class ProcessTerminator;
class Scheduler;
class Timer;
class WindowSystem;

// One process or one top-level window.
struct ProcInfo {
    int ProcessID = 0; // 0 not determined, -1 seen but its executable could not be read
    std::string ExeName;
    std::string ExePath;
    std::string WindowTitle;
    uint64_t hWnd = 0;
};

// Programs of the desktop shell: asked to close their window, never terminated.
bool isDesktopShell(const std::string& exeName);
// Debuggers and development tools, spared by funCloseAllApps under "-d".
bool isDevelopmentTool(const std::string& exeName);

class ProcManager {
public:
    // How long an application has to close its window before it is terminated.
    static constexpr int64_t kCloseGraceMs = 500;
    static constexpr int64_t kClosePollMs = 25;

    ProcManager(ProcessTable& processes, WindowSystem& windows, ProcessTerminator& terminator,
                Scheduler& scheduler, Logger& log);
    ~ProcManager();
    ProcManager(const ProcManager&) = delete;
    ProcManager& operator=(const ProcManager&) = delete;

    std::vector<ProcInfo> funGetPoccessList(bool bRefresh);
    // The client's own windows are left out. A window whose process cannot be found is listed
    // with ProcessID 0.
    std::vector<ProcInfo> funGetWindowList(bool bRefresh);
    ProcInfo funGetProcInfo(int pid);
    bool funKillProcess(const ProcInfo& entry);

    // Closes the applications of the entries: each known window is asked to close, the
    // windows get kCloseGraceMs together (events keep running), then the processes whose window
    // survived are terminated, except the desktop shell. Entries without a window are
    // terminated at once. A window whose process cannot be found is only asked to close. done runs
    // when every entry is settled (possibly before the call returns).
    void subCloseApps(std::vector<ProcInfo> entries, std::function<void()> done = {});
    void subCloseApp(const ProcInfo& entry, std::function<void()> done = {});

    // Number of close passes still waiting for windows.
    size_t pendingCloses() const;

    WindowSystem& windowSystem() { return m_windows; }

private:
    struct CloseJob;
    void pollJob(CloseJob* job);
    void finishJob(CloseJob* job);
    bool touchable(const ProcInfo& entry) const;

    ProcessTable& m_processes;
    WindowSystem& m_windows;
    ProcessTerminator& m_terminator;
    Scheduler& m_scheduler;
    Logger& m_log;
    std::vector<ProcInfo> m_processList;
    std::vector<ProcInfo> m_windowList;
    std::vector<std::unique_ptr<CloseJob>> m_jobs;
    std::shared_ptr<bool> m_alive;
};

// Lower case of an ASCII text.
std::string lowerAscii(std::string s);

} // namespace tlv
