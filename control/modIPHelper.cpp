#include "control/modIPHelper.h"

#include "core/log.h"
#include "platform/adapters.h"

namespace tlv {

std::string adapterTypeName(int32_t type) {
    switch (type) {
    case 6:
        return "Ethernet adapter";
    case 9:
        return "Token Ring adapter";
    case 15:
        return "FDDI adapter";
    case 23:
        return "PPP adapter";
    case 24:
        return "Loopback adapter";
    case 28:
        return "Slip adapter";
    default:
        return "Other adapter";
    }
}

std::string macAddressText(const std::vector<uint8_t>& bytes) {
    static const char* hex = "0123456789ABCDEF";
    std::string r;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i) {
        r += hex[bytes[i] >> 4];
        r += hex[bytes[i] & 15];
    }
    return r;
}

AdapterList funGetIPAdapters(AdapterSource& source, Logger& log) {
    AdapterList list;
    try {
        for (const auto& a : source.adapters()) {
            AdapterRecord r;
            r.AdapterName = a.name.substr(0, 259);
            r.Description = a.description.substr(0, 131);
            r.AdapterType = a.type;
            r.TypeName = adapterTypeName(a.type);
            r.MacAddress = macAddressText(a.hardwareAddress);
            // The address chain always has an element.
            r.IpAddresses = a.ipv4.empty() ? std::vector<std::string>{"0.0.0.0"} : a.ipv4;
            r.IpCount = static_cast<int32_t>(r.IpAddresses.size());
            list.Adapters.push_back(std::move(r));
            list.AdapterCount = static_cast<int32_t>(list.Adapters.size());
        }
    } catch (const std::exception& e) {
        log.subLogError("modIPHelper.funGetIPAdaptersError", e);
    }
    return list;
}

std::string hardwareIdentity(const AdapterList& list) {
    for (const auto& a : list.Adapters)
        if (a.AdapterType == 6 && a.IpCount > 0 && a.IpAddresses[0] != "0.0.0.0")
            return a.MacAddress;
    return {};
}

} // namespace tlv
