#pragma once

#include "platform/paths.h"
#include "platform/system_info.h"

namespace tlv {

// Login name, host name and the locale of the environment as a Windows LCID.
class LinuxSystemInfo : public SystemInfo {
public:
    explicit LinuxSystemInfo(Environment env) : m_env(std::move(env)) {}
    std::string userName() const override;
    std::string computerName() const override;
    uint32_t localeLcid() const override;

private:
    Environment m_env;
};

} // namespace tlv
