#include "platform/linux/instance_lock.h"

#include "platform/linux/guard_link.h"

#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace tlv {

FileInstanceLock::~FileInstanceLock() {
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

bool FileInstanceLock::tryAcquire() {
    if (m_fd >= 0)
        return true;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return true; // without a lock file a second copy cannot be detected; do not refuse
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    // The pid, for whoever looks at the file.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        (void)!::write(fd, pid.data(), pid.size());
    return true;
}

bool SessionInstanceLock::tryAcquire() {
    switch (m_guard.standing()) {
    case GuardLink::Standing::Mine:
        // Also keeps a copy started by hand in this session out; held or not, the guard decided.
        (void)m_file.tryAcquire();
        return true;
    case GuardLink::Standing::Taken:
        m_guardRunsOne = true;
        return false;
    case GuardLink::Standing::None:
        break;
    }
    return m_file.tryAcquire();
}

std::string sessionLockPath(const RuntimeLayout& layout, const Environment& env) {
    const auto value = [&env](const char* name) {
        const auto it = env.find(name);
        return it == env.end() ? std::string() : it->second;
    };
    const std::string runtime = value("XDG_RUNTIME_DIR");
    if (layout.rootOverridden || runtime.empty() || runtime.front() != '/')
        return layout.instanceLock;
    std::string session = value("XDG_SESSION_ID");
    if (session.empty())
        session = value("DISPLAY");
    // A name, never a path: only letters, digits, '.', '_' and '-' are kept.
    std::string name;
    for (char c : session)
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')
                    ? c
                    : '_';
    return joinPath(runtime,
                    "tlvcli-session-" + (name.empty() ? std::string(1, '0') : name) + ".lock");
}

} // namespace tlv
