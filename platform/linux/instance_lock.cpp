#include "platform/linux/instance_lock.h"

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

} // namespace tlv
