#pragma once

#include "platform/session_end.h"

#include <string>
#include <vector>

namespace tlv {

// Log off = end the graphical session through logind; 2 = reboot, 1 and 8 = power off.
class LinuxSessionEnd : public SessionEndPort {
public:
    // sessionId: $XDG_SESSION_ID, "self" when empty.
    explicit LinuxSessionEnd(std::string sessionId);
    bool exitWindows(int flags) override;
    // The command for the flags (for the log and for tests).
    std::vector<std::string> commandFor(int flags) const;

private:
    std::string m_sessionId;
};

} // namespace tlv
