#pragma once

#include "platform/system_info.h"

namespace tlv {

// Login name, host name and LCID as a test sets them.
class FakeSystemInfo : public SystemInfo {
public:
    std::string userName() const override { return user; }
    std::string computerName() const override { return host; }
    uint32_t localeLcid() const override { return lcid; }

    std::string user = "Guest1";
    std::string host = "CAFE-PC07";
    uint32_t lcid = 1033;
};

} // namespace tlv
