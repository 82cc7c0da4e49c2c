#pragma once

#include <string>

namespace tlv {

// XOR scrambling of the stored deactivation password. Both work on the Windows-1252 codes of
// the characters (text is UTF-8 in and out) and are their own inverse; an empty data or key
// gives the empty text.
std::string funDoXOR(const std::string& data, const std::string& key);
// The older scheme, kept to convert passwords stored before settings version 1.
std::string funDoOldXOR(const std::string& data, const std::string& key);

// UTF-8 to Windows-1252 codes (characters outside the code page become '?') and back.
std::string utf8ToAnsiCodes(const std::string& utf8);
std::string ansiCodesToUtf8(const std::string& codes);

} // namespace tlv
