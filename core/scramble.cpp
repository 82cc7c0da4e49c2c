#include "core/scramble.h"

#include <cstdint>

namespace tlv {

namespace {
// Windows-1252 0x80..0x9F; the five unassigned codes map to the C1 control of the same number
// so that every byte survives the round trip.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint8_t ansiOf(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<uint8_t>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp)
            return static_cast<uint8_t>(0x80 + i);
    return '?';
}

std::string scramble(const std::string& data, const std::string& key, bool old) {
    if (data.empty() || key.empty())
        return {};
    uint64_t sum = 0;
    for (unsigned char c : utf8ToAnsiCodes(key))
        sum += c;
    // Only the low byte of each quotient counts; the fourth key byte is never used.
    const uint8_t k[3] = {static_cast<uint8_t>((old ? sum : sum / 2) % 256),
                          static_cast<uint8_t>((sum / 256) % 256),
                          static_cast<uint8_t>((sum / 65536) % 256)};
    std::string codes = utf8ToAnsiCodes(data);
    for (size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<char>(static_cast<uint8_t>(codes[i]) ^ k[i % 3]);
    return ansiCodesToUtf8(codes);
}
} // namespace

std::string utf8ToAnsiCodes(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    const size_t n = utf8.size();
    while (i < n) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        char32_t cp;
        size_t len;
        if (b < 0x80) {
            cp = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            len = 4;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (size_t j = 1; ok && j < len; ++j) {
            const auto c = static_cast<uint8_t>(utf8[i + j]);
            if ((c & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        out += static_cast<char>(ansiOf(cp));
        i += len;
    }
    return out;
}

std::string ansiCodesToUtf8(const std::string& codes) {
    std::string out;
    out.reserve(codes.size() * 2);
    for (unsigned char c : codes)
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c);
    return out;
}

std::string funDoXOR(const std::string& data, const std::string& key) {
    return scramble(data, key, false);
}

std::string funDoOldXOR(const std::string& data, const std::string& key) {
    return scramble(data, key, true);
}

} // namespace tlv
