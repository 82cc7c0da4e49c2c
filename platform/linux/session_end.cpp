#include "platform/linux/session_end.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tlv {

LinuxSessionEnd::LinuxSessionEnd(std::string sessionId)
    : m_sessionId(sessionId.empty() ? "self" : std::move(sessionId)) {}

std::vector<std::string> LinuxSessionEnd::commandFor(int flags) const {
    const bool force = (flags & kEwxForce) != 0;
    const int what = flags & ~kEwxForce;
    std::vector<std::string> cmd;
    if (what == kEwxLogOff) {
        cmd = {"loginctl", "terminate-session", m_sessionId};
    } else if (what & kEwxReboot) {
        cmd = {"systemctl", "reboot"};
    } else if (what & (kEwxShutdown | kEwxPowerOff)) {
        cmd = {"systemctl", "poweroff"};
    } else {
        return {};
    }
    if (force && cmd[0] == "systemctl")
        cmd.push_back("-i"); // inhibitors of other programs do not hold the café's PC
    return cmd;
}

bool LinuxSessionEnd::exitWindows(int flags) {
    const std::vector<std::string> cmd = commandFor(flags);
    if (cmd.empty())
        return false;
    std::vector<char*> argv;
    for (const auto& a : cmd)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace tlv
