#pragma once

#include <string>

namespace tlv {

// The session guard (tlvcli-guard) that started this client and starts it again whenever it
// ends, unless staff ended it. Without a guard every call is a no-op.
class GuardPort {
public:
    virtual ~GuardPort() = default;
    // Staff took the workstation out of the customers' hands (quit, log off, deactivation):
    // the guard lets the client end without starting it again. False when the guard refused
    // or could not be reached.
    virtual bool release(const std::string& why) = 0;
    // Back in service: an end of the client counts as a crash again.
    virtual bool guard() = 0;
    // This start replaces a client that ended in a running session: no start-up delays.
    virtual bool startedAgain() const = 0;
};

} // namespace tlv
