#include "platform/linux/linux_adapters.h"

#include "core/cp1252.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace tlv {

namespace fs = std::filesystem;

namespace {
std::string readLine(const fs::path& p) {
    std::ifstream f(p);
    std::string s;
    std::getline(f, s);
    return s;
}

// ARPHRD_* of the kernel to the classic adapter types.
int32_t classicType(int arphrd, bool wireless) {
    switch (arphrd) {
    case 1: // ARPHRD_ETHER
        return wireless ? 71 : 6;
    case 6: // ARPHRD_IEEE802 (token ring)
    case 800:
        return 9;
    case 774: // ARPHRD_FDDI
        return 15;
    case 512: // ARPHRD_PPP
        return 23;
    case 772: // ARPHRD_LOOPBACK
        return 24;
    case 256: // ARPHRD_SLIP
    case 257:
        return 28;
    default:
        return 1;
    }
}

std::vector<uint8_t> parseMac(const std::string& text) {
    std::vector<uint8_t> r;
    size_t i = 0;
    while (r.size() < 8) {
        if (i + 1 >= text.size())
            break;
        const int hi = hexDigitValue(text[i]), lo = hexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        r.push_back(static_cast<uint8_t>(hi * 16 + lo));
        i += 2;
        if (i < text.size() && text[i] == ':')
            ++i;
    }
    return r;
}
} // namespace

LinuxAdapterSource::LinuxAdapterSource(std::string sysfsRoot, std::function<Ipv4Map()> ipv4)
    : m_root(std::move(sysfsRoot)), m_ipv4(ipv4 ? std::move(ipv4) : systemIpv4) {}

LinuxAdapterSource::Ipv4Map LinuxAdapterSource::systemIpv4() {
    Ipv4Map map;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return map;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name || !a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
            continue;
        char buf[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf))
            map[a->ifa_name].push_back(buf);
    }
    freeifaddrs(list);
    return map;
}

std::vector<RawAdapter> LinuxAdapterSource::adapters() {
    struct Entry {
        int index;
        RawAdapter adapter;
    };
    std::vector<Entry> entries;
    std::error_code ec;
    const Ipv4Map ips = m_ipv4();
    for (const auto& dir : fs::directory_iterator(m_root, ec)) {
        const fs::path p = dir.path();
        RawAdapter a;
        a.name = p.filename().string();
        const bool wireless = fs::exists(p / "wireless", ec) || fs::exists(p / "phy80211", ec);
        int arphrd = 0;
        try {
            arphrd = std::stoi(readLine(p / "type"));
        } catch (...) {
            arphrd = 0;
        }
        a.type = classicType(arphrd, wireless);
        a.hardwareAddress = parseMac(readLine(p / "address"));
        if (a.type == 24)
            a.hardwareAddress.clear(); // loopback's 00:00:00:00:00:00 is no identity
        a.description = a.name;
        if (const auto it = ips.find(a.name); it != ips.end())
            a.ipv4 = it->second;
        int index = 0;
        try {
            index = std::stoi(readLine(p / "ifindex"));
        } catch (...) {
            index = 1 << 30;
        }
        entries.push_back({index, std::move(a)});
    }
    // The kernel's interface order.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& x, const Entry& y) { return x.index < y.index; });
    std::vector<RawAdapter> r;
    for (auto& e : entries)
        r.push_back(std::move(e.adapter));
    return r;
}

} // namespace tlv
