#include "platform/linux/guard_link.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tlv {

namespace {

constexpr size_t kMaxAnswer = 64 * 1024;

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

} // namespace

std::optional<std::string> guardRequest(const std::string& socketPath, const std::string& line,
                                        int timeoutMs) {
    sockaddr_un addr{};
    if (socketPath.empty() || socketPath.size() >= sizeof(addr.sun_path))
        return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    std::optional<std::string> answer;
    const std::string request = oneLine(line) + "\n";
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        ::shutdown(fd, SHUT_WR);
        std::string got;
        char buf[4096];
        while (got.size() < kMaxAnswer) {
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, timeoutMs);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            const ssize_t n = ::read(fd, buf, sizeof(buf));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    answer = got; // the guard closes after its answer
                break;
            }
            got.append(buf, static_cast<size_t>(n));
        }
        if (answer && !answer->empty() && answer->back() == '\n')
            answer->pop_back();
    }
    ::close(fd);
    return answer;
}

GuardLink::GuardLink(const Environment& env, bool sandbox) {
    const auto value = [&env](const char* name) {
        const auto it = env.find(name);
        return it == env.end() ? std::string() : it->second;
    };
    m_socket = value(kGuardSocketEnv);
    if (m_socket.empty() && !sandbox)
        m_socket = kGuardDefaultSocket;
    m_session = value("XDG_SESSION_ID");
    m_startedAgain = value(kGuardRestartEnv) == "1";
}

GuardLink::Standing GuardLink::standing() const {
    if (m_asked)
        return m_standing;
    m_asked = true;
    if (m_socket.empty() || ::access(m_socket.c_str(), F_OK) != 0)
        return m_standing;
    const auto answer = guardRequest(m_socket, "hello " + m_session);
    if (answer == "mine") {
        m_standing = Standing::Mine;
        // Other processes of the same user (the customer's) may not attach to this one nor
        // take its sockets through /proc.
        ::prctl(PR_SET_DUMPABLE, 0);
    } else if (answer == "taken") {
        m_standing = Standing::Taken;
    }
    return m_standing;
}

bool GuardLink::ask(const std::string& line) {
    if (standing() != Standing::Mine)
        return true; // nobody to tell
    return guardRequest(m_socket, line) == "ok";
}

bool GuardLink::release(const std::string& why) {
    return ask("release " + why);
}

bool GuardLink::guard() {
    return ask("guard");
}

} // namespace tlv
