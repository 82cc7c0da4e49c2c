#pragma once

namespace tlv {

// The four desktop lockdown switches as the state machine calls them (true = show / allow,
// false = hide / prevent). The result is the low 16 bits of the switch library's answer as a
// Boolean; false as well when the library cannot be reached (one log line per call then).
class ShellLockdown {
public:
    virtual ~ShellLockdown() = default;
    virtual bool funToggleTaskbar(bool on) = 0;
    virtual bool funToggleDesktop(bool on) = 0;
    virtual bool funToggleTaskSwitching(bool on) = 0;
    virtual bool funToggleCtrlAltDel(bool on) = 0;
};

} // namespace tlv
