#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

// One network adapter as the system reports it; type codes are the classic adapter types
// (6 Ethernet, 9 token ring, 15 FDDI, 23 PPP, 24 loopback, 28 SLIP, anything else other).
struct RawAdapter {
    std::string name;
    std::string description;
    int32_t type = 1;
    std::vector<uint8_t> hardwareAddress;
    std::vector<std::string> ipv4; // dotted form, in the system's order
};

class AdapterSource {
public:
    virtual ~AdapterSource() = default;
    virtual std::vector<RawAdapter> adapters() = 0;
};

} // namespace tlv
