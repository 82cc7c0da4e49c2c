#include "platform/fake/memory_hive.h"

#include <cctype>

namespace tlv {

std::string foldName(const std::string& name) {
    std::string r = name;
    for (auto& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

std::string foldKeyPath(const std::string& keyPath) {
    std::string r;
    for (char c : keyPath) {
        if (c == '\\' && (r.empty() || r.back() == '\\'))
            continue;
        r += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!r.empty() && r.back() == '\\')
        r.pop_back();
    return r;
}

bool MemoryHive::keyExists(const std::string& keyPath) {
    return m_keys.count(foldKeyPath(keyPath)) > 0;
}

bool MemoryHive::createKey(const std::string& keyPath) {
    std::string folded = foldKeyPath(keyPath);
    // Parents exist with their children, as in the registry.
    size_t start = 0;
    while (true) {
        size_t sep = folded.find('\\', start);
        std::string prefix = folded.substr(0, sep);
        if (!m_keys.count(prefix))
            m_keys[prefix].displayPath = keyPath.substr(0, sep == std::string::npos ? keyPath.size() : sep);
        if (sep == std::string::npos)
            break;
        start = sep + 1;
    }
    return true;
}

std::optional<RegValue> MemoryHive::get(const std::string& keyPath, const std::string& name) {
    auto k = m_keys.find(foldKeyPath(keyPath));
    if (k == m_keys.end())
        return std::nullopt;
    auto v = k->second.values.find(foldName(name));
    if (v == k->second.values.end())
        return std::nullopt;
    return v->second.value;
}

bool MemoryHive::set(const std::string& keyPath, const std::string& name, const RegValue& v) {
    createKey(keyPath);
    auto& slot = m_keys[foldKeyPath(keyPath)].values[foldName(name)];
    if (slot.name.empty())
        slot.name = name;
    slot.value = v;
    return true;
}

bool MemoryHive::remove(const std::string& keyPath, const std::string& name) {
    auto k = m_keys.find(foldKeyPath(keyPath));
    return k != m_keys.end() && k->second.values.erase(foldName(name)) > 0;
}

bool MemoryHive::removeKey(const std::string& keyPath) {
    const std::string f = foldKeyPath(keyPath);
    bool any = false;
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (it->first == f || it->first.rfind(f + "\\", 0) == 0) {
            it = m_keys.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    return any;
}

std::vector<NamedRegValue> MemoryHive::values(const std::string& keyPath) {
    std::vector<NamedRegValue> r;
    auto k = m_keys.find(foldKeyPath(keyPath));
    if (k != m_keys.end())
        for (auto& [_, v] : k->second.values)
            r.push_back(v);
    return r;
}

std::vector<std::string> MemoryHive::subKeys(const std::string& keyPath) {
    std::vector<std::string> r;
    const std::string f = foldKeyPath(keyPath);
    for (auto& [path, key] : m_keys) {
        const size_t skip = f.empty() ? 0 : f.size() + 1;
        if (!f.empty() &&
            (path.size() <= skip || path.compare(0, f.size(), f) != 0 || path[f.size()] != '\\'))
            continue;
        if (!path.empty() && path.find('\\', skip) == std::string::npos)
            r.push_back(key.displayPath.substr(key.displayPath.rfind('\\') + 1));
    }
    return r;
}

} // namespace tlv
