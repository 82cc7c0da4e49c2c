#pragma once

#include "platform/adapters.h"

#include <functional>
#include <map>

namespace tlv {

// Adapters from /sys/class/net (type, hardware address, order) and getifaddrs (IPv4).
class LinuxAdapterSource : public AdapterSource {
public:
    using Ipv4Map = std::map<std::string, std::vector<std::string>>;
    // sysfsRoot and the address lookup are parameters so that tests read prepared data.
    explicit LinuxAdapterSource(std::string sysfsRoot = "/sys/class/net",
                                std::function<Ipv4Map()> ipv4 = {});
    std::vector<RawAdapter> adapters() override;

    static Ipv4Map systemIpv4();

private:
    std::string m_root;
    std::function<Ipv4Map()> m_ipv4;
};

} // namespace tlv
