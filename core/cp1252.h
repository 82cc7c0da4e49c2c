#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tlv {

// The wire carries Windows-1252, one byte per character; the program works in UTF-8.
// Characters Windows-1252 lacks (and invalid UTF-8) become "?".
std::string utf8ToCp1252(std::string_view utf8);
// Every byte has a meaning: the five bytes Windows-1252 leaves undefined map to the C1
// controls of the same value, so any byte sequence survives a round trip.
std::string cp1252ToUtf8(std::string_view bytes);

// Lower case of a UTF-8 text for the letters the wire can carry (ASCII, Latin-1 and the
// Windows-1252 extras Š Œ Ž Ÿ); other characters and invalid bytes are left as they are.
std::string utf8ToLower(std::string_view utf8);

// The first n characters (code points) of a UTF-8 text, never cutting one in two.
std::string_view utf8Prefix(std::string_view utf8, size_t n);
// Number of code points in a UTF-8 text.
size_t utf8Length(std::string_view utf8);
// Appends one code point as UTF-8 (1 to 4 bytes).
void appendUtf8(std::string& out, uint32_t cp);

// The value of a hexadecimal digit in either case; -1 for any other character.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace tlv
