#include "platform/sandbox/sandbox_control.h"

#include "platform/actions.h"

#include <algorithm>
#include <filesystem>

namespace tlv {

bool SandboxWindowSystem::requestClose(uint64_t id, int pid, const std::string& exeName,
                                       const std::string& title) {
    m_log.record("closewindow", {std::to_string(pid), exeName, title});
    return !m_closeForReal || m_real.requestClose(id, pid, exeName, title);
}

bool SandboxTerminator::terminate(int pid, const std::string& exePath, const std::string& exeName) {
    m_log.record("terminate", {std::to_string(pid), exeName});
    if (!m_real || !m_display)
        return true;
    const auto windows = m_display->topLevelWindows();
    const bool shown = pid > 0 && std::any_of(windows.begin(), windows.end(),
                                              [pid](const WindowEntry& w) { return w.pid == pid; });
    return shown && m_real->terminate(pid, exePath, exeName);
}

bool SandboxSpawner::spawnScript(const SpawnRequest& r) {
    m_log.record("run", {r.commandLine, std::to_string(r.showMode)});
    return true;
}

void SandboxDesktopProfile::arrangeIcons() {
    m_log.record("cleanup", {"arrangeicons", "-"});
}
void SandboxDesktopProfile::clearRecentDocuments() {
    m_log.record("cleanup", {"recentdocuments", "-"});
}
void SandboxDesktopProfile::setWallpaper(const std::string& p) {
    m_log.record("cleanup", {"wallpaper", p});
}
void SandboxDesktopProfile::setStartPage(const std::string& a) {
    m_log.record("cleanup", {"startpage", a});
}
void SandboxDesktopProfile::deleteBrowserCache() {
    m_log.record("cleanup", {"browsercache", "-"});
}
void SandboxDesktopProfile::deleteBrowserHistory() {
    m_log.record("cleanup", {"browserhistory", "-"});
}
void SandboxDesktopProfile::clearMessengerData() {
    m_log.record("cleanup", {"messenger", m_home + "/.gaim " + m_home + "/.purple"});
}
bool SandboxDesktopProfile::hasYahooMessenger() {
    std::error_code ec;
    return std::filesystem::exists(m_home + "/Yahoo! Messenger", ec);
}

} // namespace tlv
