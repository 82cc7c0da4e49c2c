#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tlv {

enum class RegType : uint32_t { None = 0, Sz = 1, Binary = 3, Dword = 4 };

struct RegValue {
    RegType type = RegType::None;
    std::string text;           // REG_SZ
    uint32_t dword = 0;         // REG_DWORD
    std::vector<uint8_t> bytes; // REG_BINARY

    static RegValue sz(std::string t) { return {RegType::Sz, std::move(t), 0, {}}; }
    static RegValue dw(uint32_t v) { return {RegType::Dword, {}, v, {}}; }
    static RegValue bin(std::vector<uint8_t> b) { return {RegType::Binary, {}, 0, std::move(b)}; }
    bool operator==(const RegValue&) const = default;
};

struct NamedRegValue {
    std::string name;
    RegValue value;
};

// One registry hive (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER). Key paths use "\" as separator
// and are compared case-insensitively; value names too. Keys exist once something was written
// below them (or they were created).
class Hive {
public:
    virtual ~Hive() = default;
    virtual bool keyExists(const std::string& keyPath) = 0;
    virtual bool createKey(const std::string& keyPath) = 0;
    virtual std::optional<RegValue> get(const std::string& keyPath, const std::string& name) = 0;
    // Creates the key (and its parents) when missing.
    virtual bool set(const std::string& keyPath, const std::string& name, const RegValue& v) = 0;
    // True when the value existed and was removed.
    virtual bool remove(const std::string& keyPath, const std::string& name) = 0;
    // Removes the key with its values and sub-keys.
    virtual bool removeKey(const std::string& keyPath) = 0;
    virtual std::vector<NamedRegValue> values(const std::string& keyPath) = 0;
    virtual std::vector<std::string> subKeys(const std::string& keyPath) = 0;
    // Forces what was written to stable storage.
    virtual bool flush() = 0;
    // Text of the last failure, for the log line.
    virtual std::string lastError() const = 0;
};

} // namespace tlv
