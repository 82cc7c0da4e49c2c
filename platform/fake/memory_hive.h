#pragma once

#include "platform/hive.h"

#include <map>

namespace tlv {

// In-memory hive for tests, with the same case-insensitive key and value names as the real one.
class MemoryHive : public Hive {
public:
    bool keyExists(const std::string& keyPath) override;
    bool createKey(const std::string& keyPath) override;
    std::optional<RegValue> get(const std::string& keyPath, const std::string& name) override;
    bool set(const std::string& keyPath, const std::string& name, const RegValue& v) override;
    bool remove(const std::string& keyPath, const std::string& name) override;
    bool removeKey(const std::string& keyPath) override;
    std::vector<NamedRegValue> values(const std::string& keyPath) override;
    std::vector<std::string> subKeys(const std::string& keyPath) override;
    bool flush() override {
        ++flushCount;
        return true;
    }
    std::string lastError() const override { return {}; }

    int flushCount = 0;

private:
    struct Key {
        std::string displayPath;
        std::map<std::string, NamedRegValue> values; // by folded name
    };
    std::map<std::string, Key> m_keys; // by folded path
};

// Lower-cases ASCII and trims surrounding "\" so that key paths compare as the registry does.
std::string foldKeyPath(const std::string& keyPath);
std::string foldName(const std::string& name);

} // namespace tlv
