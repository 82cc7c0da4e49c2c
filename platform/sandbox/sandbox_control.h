#pragma once

// Sandbox mode: closing windows, terminating processes, running batch files and the profile
// cleanup are recorded in the actions log instead of being done. Reading (the process and
// window lists) is left to the real ports.

#include "platform/desktop_profile.h"
#include "platform/processes.h"
#include "platform/window_system.h"

namespace tlv {

class ActionLog;

// "closewindow <pid> <exe name> <title>"; everything else from the real window system. With
// closeForReal (a test on a private display) the request is then also sent.
class SandboxWindowSystem : public WindowSystem {
public:
    SandboxWindowSystem(WindowSystem& real, ActionLog& log, bool closeForReal = false)
        : m_real(real), m_log(log), m_closeForReal(closeForReal) {}
    std::vector<WindowEntry> topLevelWindows() override { return m_real.topLevelWindows(); }
    bool requestClose(uint64_t id, int pid, const std::string& exeName,
                      const std::string& title) override;
    bool exists(uint64_t id) override { return m_real.exists(id); }
    int windowPid(uint64_t id) override { return m_real.windowPid(id); }
    std::pair<int, int> screenPixels() override { return m_real.screenPixels(); }

private:
    WindowSystem& m_real;
    ActionLog& m_log;
    bool m_closeForReal;
};

// "terminate <pid> <exe name>". With a real terminator and the display behind it (a test on a
// private display), a process that shows a window there is then also ended; any other process
// of the user (one named in a forbidden list, say) stays recorded only.
class SandboxTerminator : public ProcessTerminator {
public:
    explicit SandboxTerminator(ActionLog& log, ProcessTerminator* real = nullptr,
                               WindowSystem* display = nullptr)
        : m_log(log), m_real(real), m_display(display) {}
    bool terminate(int pid, const std::string& exePath, const std::string& exeName) override;

private:
    ActionLog& m_log;
    ProcessTerminator* m_real;
    WindowSystem* m_display;
};

// "run <command line> <show mode>"
class SandboxSpawner : public ProcessSpawner {
public:
    explicit SandboxSpawner(ActionLog& log) : m_log(log) {}
    bool spawnScript(const SpawnRequest& request) override;
    std::string error() const override { return {}; }

private:
    ActionLog& m_log;
};

// "cleanup <step> <detail>"
class SandboxDesktopProfile : public DesktopProfile {
public:
    SandboxDesktopProfile(ActionLog& log, std::string home) : m_log(log), m_home(std::move(home)) {}
    void arrangeIcons() override;
    void clearRecentDocuments() override;
    void setWallpaper(const std::string& imagePath) override;
    void setStartPage(const std::string& address) override;
    void deleteBrowserCache() override;
    void deleteBrowserHistory() override;
    void clearMessengerData() override;
    bool hasYahooMessenger() override;

private:
    ActionLog& m_log;
    std::string m_home;
};

} // namespace tlv
