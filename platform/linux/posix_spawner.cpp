#include "platform/linux/posix_spawner.h"

#include "platform/scheduler.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tlv {

std::string findInPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= p.size()) {
        const size_t colon = p.find(':', start);
        const std::string dir = p.substr(start, colon - start);
        if (!dir.empty()) {
            const std::string full = dir + "/" + program;
            if (::access(full.c_str(), X_OK) == 0)
                return full;
        }
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return {};
}

PosixSpawner::PosixSpawner(Scheduler& scheduler, std::string terminal)
    : m_reaper(scheduler.createTimer([this] { reap(); })), m_terminal(std::move(terminal)) {
    m_reaper->setInterval(1000);
}

PosixSpawner::~PosixSpawner() {
    reap();
}

int PosixSpawner::spawn(const std::vector<std::string>& argv) {
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: the script outlives the client and gets none of its signals.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_error = std::string(argv[0]) + ": " + std::strerror(rc);
        return -1;
    }
    m_children.push_back(pid);
    m_reaper->setEnabled(true);
    return pid;
}

bool PosixSpawner::spawnScript(const SpawnRequest& request) {
    std::vector<std::string> argv;
    if (request.showMode != 0) {
        const std::string term =
            m_terminal.empty() ? findInPath("x-terminal-emulator") : m_terminal;
        if (!term.empty()) {
            // Every terminal behind Debian's x-terminal-emulator takes the command after -e.
            argv = {term, "-e"};
        }
    }
    argv.push_back("/bin/sh");
    argv.push_back(request.program);
    argv.insert(argv.end(), request.args.begin(), request.args.end());
    return spawn(argv) > 0;
}

void PosixSpawner::reap() {
    std::erase_if(m_children, [](int pid) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
    if (m_children.empty())
        m_reaper->setEnabled(false);
}

} // namespace tlv
