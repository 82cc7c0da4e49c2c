#include "core/cp1252.h"

#include <array>
#include <cstdint>

namespace tlv {

namespace {

// Code points of bytes 0x80 to 0x9F; 0 marks the five undefined bytes.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int byteForCodePoint(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp)
            return static_cast<int>(0x80 + i);
    // The undefined bytes came in as C1 controls; send them back as they were.
    if (cp >= 0x80 && cp <= 0x9F && kHigh[cp - 0x80] == 0)
        return static_cast<int>(cp);
    return '?';
}

// Decodes one code point at s[i]; returns its length, or 0 for an invalid sequence.
size_t decodeUtf8(std::string_view s, size_t i, uint32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len = 0;
    uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf8ToCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            // Plain ASCII runs are the common case: copy them without decoding.
            size_t j = i + 1;
            while (j < utf8.size() && static_cast<unsigned char>(utf8[j]) < 0x80)
                ++j;
            out.append(utf8.substr(i, j - i));
            i = j;
            continue;
        }
        uint32_t cp = 0;
        const size_t len = decodeUtf8(utf8, i, cp);
        if (len == 0) {
            out += '?';
            ++i;
            continue;
        }
        out += static_cast<char>(byteForCodePoint(cp));
        i += len;
    }
    return out;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            size_t j = i + 1;
            while (j < bytes.size() && static_cast<unsigned char>(bytes[j]) < 0x80)
                ++j;
            out.append(bytes.substr(i, j - i));
            i = j;
            continue;
        }
        uint32_t cp = b;
        if (b < 0xA0 && kHigh[b - 0x80] != 0)
            cp = kHigh[b - 0x80];
        appendUtf8(out, cp);
        ++i;
    }
    return out;
}

namespace {
uint32_t lowerCodePoint(uint32_t cp) {
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7))
        return cp + 0x20;
    switch (cp) {
    case 0x0152: // Œ
    case 0x0160: // Š
    case 0x017D: // Ž
        return cp + 1;
    case 0x0178: // Ÿ
        return 0xFF;
    default:
        return cp;
    }
}
} // namespace

std::string utf8ToLower(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t cp = 0;
        const size_t len = decodeUtf8(utf8, i, cp);
        if (len == 0) {
            out += utf8[i++];
            continue;
        }
        appendUtf8(out, lowerCodePoint(cp));
        i += len;
    }
    return out;
}

std::string_view utf8Prefix(std::string_view utf8, size_t n) {
    size_t i = 0;
    size_t count = 0;
    while (i < utf8.size() && count < n) {
        ++i;
        while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
            ++i;
        ++count;
    }
    return utf8.substr(0, i);
}

size_t utf8Length(std::string_view utf8) {
    size_t count = 0;
    for (char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    return count;
}

} // namespace tlv
