#pragma once

// The text .reg format of the registry editor, read and written by tlvreg.

#include "platform/hive.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tlv::regfile {

// Files larger than this are refused before anything is allocated for them.
constexpr size_t kMaxFileBytes = 32u * 1024 * 1024;

enum class Root { LocalMachine, CurrentUser };

struct KeyRef {
    Root root = Root::LocalMachine;
    std::string path; // below the root, "\" separated, no leading or trailing "\"
};

// "HKLM\Software\X", "HKEY_CURRENT_USER\Software" ...; nullopt for anything else.
std::optional<KeyRef> parseKey(std::string_view text);
std::string rootName(Root root); // "HKEY_LOCAL_MACHINE" / "HKEY_CURRENT_USER"
std::string fullKeyName(const KeyRef& k);

// One instruction of a .reg file, in file order.
struct Entry {
    enum class Kind { Key, DeleteKey, SetValue, DeleteValue };
    Kind kind = Kind::Key;
    KeyRef key;
    std::string name; // empty = the key's default value ("@")
    RegValue value;
    size_t line = 0;
};

struct ParseResult {
    std::vector<Entry> entries;
    std::string error; // empty on success; "line N: ..." otherwise
    size_t errorLine = 0;
};

// Accepts UTF-8 (with or without BOM) and UTF-16LE with BOM, CR LF or LF line ends,
// "Windows Registry Editor Version 5.00" or "REGEDIT4" headers, ";" comments and "\"
// continuation of hex lines. Stops at the first error.
ParseResult parse(std::string_view bytes);

// Writer: the header line, then per key "[full name]" and its values; CR LF line ends, UTF-8.
std::string header();
std::string keyLine(const KeyRef& k);
std::string valueLine(const std::string& name, const RegValue& v);

// Text quoting of the format: "\" and """ are escaped.
std::string quote(const std::string& text);

} // namespace tlv::regfile
