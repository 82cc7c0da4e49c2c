#include "core/scramble.h"

#include "core/cp1252.h"

#include <cstdint>

namespace tlv {

namespace {
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
    return utf8ToCp1252(utf8);
}

std::string ansiCodesToUtf8(const std::string& codes) {
    return cp1252ToUtf8(codes);
}

std::string funDoXOR(const std::string& data, const std::string& key) {
    return scramble(data, key, false);
}

std::string funDoOldXOR(const std::string& data, const std::string& key) {
    return scramble(data, key, true);
}

} // namespace tlv
