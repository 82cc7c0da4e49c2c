#pragma once

#include "platform/instance_lock.h"
#include "platform/paths.h"

#include <string>

namespace tlv {

class GuardLink;

// flock on a file: a crashed copy leaves no stale lock behind.
class FileInstanceLock : public InstanceLock {
public:
    explicit FileInstanceLock(std::string path) : m_path(std::move(path)) {}
    ~FileInstanceLock() override;
    bool tryAcquire() override;

private:
    std::string m_path;
    int m_fd = -1;
};

// One client per graphical session. A client the guard started is the session's client
// whatever any lock file says (a customer can hold a file of his own folder); a client the
// guard did not start gives way when the guard has one in this session, and otherwise takes
// the per-session lock of sessionLockPath.
class SessionInstanceLock : public InstanceLock {
public:
    SessionInstanceLock(GuardLink& guard, std::string lockPath)
        : m_guard(guard), m_file(std::move(lockPath)) {}
    bool tryAcquire() override;
    bool guardRunsOne() const override { return m_guardRunsOne; }

private:
    GuardLink& m_guard;
    bool m_guardRunsOne = false;
    FileInstanceLock m_file;
};

// The per-session lock: $XDG_RUNTIME_DIR/tlvcli-session-<XDG_SESSION_ID or display>.lock (the
// runtime folder is the user's own, so users of a diskless host never meet); a machine root of
// its own (TLVCLI_ROOT, the sandbox) keeps one lock per root, as does a system without a runtime
// folder.
std::string sessionLockPath(const RuntimeLayout& layout, const Environment& env);

} // namespace tlv
