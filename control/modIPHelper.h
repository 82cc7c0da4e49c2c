#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

class AdapterSource;
class Logger;

struct AdapterRecord {
    std::string AdapterName;
    std::string TypeName;
    int32_t AdapterType = 0;
    std::string Description;
    std::string MacAddress;
    int32_t IpCount = 0;
    std::vector<std::string> IpAddresses;
};

struct AdapterList {
    int32_t AdapterCount = 0;
    std::vector<AdapterRecord> Adapters;
};

std::string adapterTypeName(int32_t type);
// Each byte as two upper-case hex digits, no separators, at most 8 bytes.
std::string macAddressText(const std::vector<uint8_t>& bytes);
AdapterList funGetIPAdapters(AdapterSource& source, Logger& log);
// MacAddress of the first Ethernet adapter whose first address is not "0.0.0.0"; empty when none.
std::string hardwareIdentity(const AdapterList& list);

} // namespace tlv
