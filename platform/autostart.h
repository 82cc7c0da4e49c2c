#pragma once

#include <string>

namespace tlv {

// Start at logon (the Windows program's "Run" value): on Linux the XDG autostart entry.
class Autostart {
public:
    virtual ~Autostart() = default;
    // On when the entry is present and not empty.
    virtual bool isEnabled() const = 0;
    // command: the program to start, as a full path.
    virtual bool enable(const std::string& command) = 0;
    // True when the entry is gone afterwards (also when it never existed).
    virtual bool disable() = 0;
    virtual std::string lastError() const = 0;
};

} // namespace tlv
