#pragma once

#include "platform/instance_lock.h"

#include <string>

namespace tlv {

// flock on a file under the machine root: two copies with different roots do not see each
// other, and a crashed copy leaves no stale lock behind.
class FileInstanceLock : public InstanceLock {
public:
    explicit FileInstanceLock(std::string path) : m_path(std::move(path)) {}
    ~FileInstanceLock() override;
    bool tryAcquire() override;

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace tlv
