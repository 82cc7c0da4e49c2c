#pragma once

#include "platform/guard_port.h"
#include "platform/paths.h"

#include <optional>
#include <string>

namespace tlv {

// tlvcli-guard's control socket: one request line, one answer (status: lines until the end).
//   hello SESSION     -> "mine" (the guard started this pid), "taken" (the session already has
//                        the guard's client), "none" (not a session the guard watches)
//   release WHY       -> "ok" / "refused" (only from the client the guard started)
//   guard             -> "ok" / "refused"
//   status            -> one line per watched session
inline constexpr const char* kGuardSocketEnv = "TLVCLI_GUARD_SOCKET";
inline constexpr const char* kGuardRestartEnv = "TLVCLI_GUARD_RESTART";
inline constexpr const char* kGuardDefaultSocket = "/run/tlvcli-guard/control";

// Sends LINE, returns the whole answer (without the last newline); nothing when the socket
// cannot be reached or stays silent for TIMEOUTMS.
std::optional<std::string> guardRequest(const std::string& socketPath, const std::string& line,
                                        int timeoutMs = 1000);

// The client's side. Which socket: TLVCLI_GUARD_SOCKET, else the installed guard's (not in
// sandbox mode, whose clients never meet the machine's guard).
class GuardLink : public GuardPort {
public:
    enum class Standing { Mine, Taken, None };
    GuardLink(const Environment& env, bool sandbox);

    // Asked once: whether the guard started this very process for its session.
    Standing standing() const;
    bool release(const std::string& why) override;
    bool guard() override;
    bool startedAgain() const override { return m_startedAgain && standing() == Standing::Mine; }

private:
    bool ask(const std::string& line);
    std::string m_socket;
    std::string m_session;
    bool m_startedAgain = false;
    mutable bool m_asked = false;
    mutable Standing m_standing = Standing::None;
};

} // namespace tlv
