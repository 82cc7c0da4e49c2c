#pragma once

#include <cstdint>
#include <string>

namespace tlv {

// Who and where the client runs: login name, host name and the locale as a Windows LCID.
class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    virtual std::string userName() const = 0;
    virtual std::string computerName() const = 0;
    virtual uint32_t localeLcid() const = 0;
};

// LCID of a POSIX locale name such as "de_CH.UTF-8" (1033 for anything unknown).
uint32_t lcidFromLocaleName(const std::string& locale);

} // namespace tlv
