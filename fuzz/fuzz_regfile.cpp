// The .reg import parser of tlvreg: any bytes, and what it accepts must write back and read
// again to the same instructions.
#include "tools/tlvreg/reg_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "regfile round trip: %s: %s\n", what, detail.c_str());
    std::abort();
}

// Texts that are not UTF-8 are written byte for byte when quoted but as Latin-1 characters in a
// hex(1) list, as the writer documents; those are not compared.
bool validUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80                 ? 1
                         : c >= 0xC2 && c <= 0xDF ? 2
                         : (c >> 4) == 14         ? 3
                         : c >= 0xF0 && c <= 0xF4 ? 4
                                                  : 0;
        if (n == 0 || i + n > s.size())
            return false;
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tlv::regfile;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const ParseResult r = parse(bytes);
    if (!r.error.empty())
        return 0;

    // Keys and values written by the writer are read back the same.
    std::string out = header();
    size_t written = 0;
    for (const Entry& e : r.entries) {
        if (e.kind == Entry::Kind::Key) {
            out += keyLine(e.key);
            ++written;
        } else if (e.kind == Entry::Kind::SetValue) {
            out += keyLine(e.key);
            out += valueLine(e.name, e.value);
            written += 2;
        }
    }
    const ParseResult again = parse(out);
    if (!again.error.empty())
        fail("the written file is refused", again.error);
    if (again.entries.size() != written)
        fail("entries", std::to_string(again.entries.size()) + " of " + std::to_string(written));
    size_t i = 0;
    for (const Entry& e : r.entries) {
        if (e.kind == Entry::Kind::Key) {
            if (again.entries[i].key.path != e.key.path)
                fail("key", e.key.path);
            ++i;
        } else if (e.kind == Entry::Kind::SetValue) {
            const Entry& v = again.entries[i + 1];
            const bool comparable = e.value.type != tlv::RegType::Sz || validUtf8(e.value.text);
            if (v.kind != Entry::Kind::SetValue || v.name != e.name ||
                (comparable && !(v.value == e.value)))
                fail("value", e.name);
            i += 2;
        }
    }
    return 0;
}
