#pragma once

namespace tlv {

// ExitWindowsEx flags as the callers pass them.
enum ExitFlags : int {
    kEwxLogOff = 0,
    kEwxShutdown = 1,
    kEwxReboot = 2,
    kEwxForce = 4,
    kEwxPowerOff = 8,
};

// Ends the graphical session or the machine: 0 logs off, 2 reboots, 1 and 8 power off.
class SessionEndPort {
public:
    virtual ~SessionEndPort() = default;
    // False when the request could not be made.
    virtual bool exitWindows(int flags) = 0;
};

} // namespace tlv
