#pragma once

#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tlv::guard {

// A graphical session of a café user, and the environment its client gets.
struct Session {
    std::string id;
    std::string user; // empty in test mode: the guard's own user
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
    std::vector<std::string> env; // NAME=VALUE
};

// Where the sessions come from: logind, or a file in test mode.
class SessionSource {
public:
    virtual ~SessionSource() = default;
    // Readable when the sessions may have changed; -1 when the guard looks every quarter second.
    virtual int fd() const { return -1; }
    virtual void drain() {}
    virtual std::vector<Session> list() = 0;
    // The session of a process (CLAIMED is what the process says; only trusted in test mode).
    virtual std::string sessionOf(pid_t pid, const std::string& claimed) = 0;
    // Ends the login session.
    virtual bool terminate(const std::string& id) = 0;
    // Start clients as the session's user (the guard runs as root).
    virtual bool switchUser() const = 0;
};

using LogFn = std::function<void(const std::string&)>;

// Test mode: one session per line, "ID NAME=VALUE ...", '#' starts a comment. A session that
// leaves the file has logged out; terminate only appends the session's id to FILE + ".ended".
std::unique_ptr<SessionSource> makeFileSessions(std::string path);

// logind: the active or online X11 sessions of class "user" whose user is in GROUP.
std::unique_ptr<SessionSource> makeLogindSessions(std::string group, LogFn log);

// Checks a session id, an environment name: letters, digits, '.', '_', '-' (names: no '.', '-').
bool validId(const std::string& id);

} // namespace tlv::guard
