#include "platform/linux/linux_system_info.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace tlv {

std::string LinuxSystemInfo::userName() const {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return found->pw_name;
    for (const char* var : {"USER", "LOGNAME"}) {
        const auto it = m_env.find(var);
        if (it != m_env.end() && !it->second.empty())
            return it->second;
    }
    return std::to_string(geteuid());
}

std::string LinuxSystemInfo::computerName() const {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0 || !buf[0])
        return "localhost";
    std::string name = buf;
    // The short name, as the Windows computer name is.
    const auto dot = name.find('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

uint32_t LinuxSystemInfo::localeLcid() const {
    // The messages category decides the language, in the POSIX order of precedence.
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto it = m_env.find(var);
        if (it != m_env.end() && !it->second.empty())
            return lcidFromLocaleName(it->second);
    }
    return lcidFromLocaleName("");
}

} // namespace tlv
