#include "tools/tlvreg/reg_file.h"

#include "core/cp1252.h"

#include <cstdint>

namespace tlv::regfile {

namespace {

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// UTF-16LE code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(const uint8_t* p, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i + 1 < n; i += 2) {
        uint32_t u = p[i] | (p[i + 1] << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n) {
            const uint32_t lo = p[i + 2] | (p[i + 3] << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = 0xFFFD;
        appendUtf8(out, u);
    }
    return out;
}

// UTF-8 to UTF-16LE bytes; an invalid byte stands for the Latin-1 character of its value.
std::vector<uint8_t> utf8ToUtf16le(const std::string& s) {
    std::vector<uint8_t> out;
    out.reserve(s.size() * 2 + 2);
    auto unit = [&](uint32_t u) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    };
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<uint8_t>(s[i]);
        uint32_t cp = b;
        size_t len = 1;
        if (b >= 0xC2 && b <= 0xDF)
            len = 2, cp = b & 0x1F;
        else if (b >= 0xE0 && b <= 0xEF)
            len = 3, cp = b & 0x0F;
        else if (b >= 0xF0 && b <= 0xF4)
            len = 4, cp = b & 0x07;
        bool ok = len == 1 ? b < 0x80 : i + len <= s.size();
        for (size_t j = 1; ok && j < len; ++j) {
            const auto c = static_cast<uint8_t>(s[i + j]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            unit(b);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
        i += len;
    }
    return out;
}

std::string hexList(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string r;
    r.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            r += ',';
        r += digits[bytes[i] >> 4];
        r += digits[bytes[i] & 15];
    }
    return r;
}

// "0a,1b,ff" -> bytes; blanks around items allowed, an empty list is no bytes.
bool parseHexList(std::string_view s, std::vector<uint8_t>& out, std::string& why) {
    s = trim(s);
    if (s.empty())
        return true;
    out.reserve(s.size() / 3 + 1);
    size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i + 2 > s.size() || hexDigitValue(s[i]) < 0 || hexDigitValue(s[i + 1]) < 0) {
            why = "bad hex byte";
            return false;
        }
        out.push_back(static_cast<uint8_t>(hexDigitValue(s[i]) * 16 + hexDigitValue(s[i + 1])));
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i == s.size())
            return true;
        if (s[i] != ',') {
            why = "bad hex list";
            return false;
        }
        ++i;
    }
}

// A quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool parseQuoted(std::string_view s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    ++pos;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (pos >= s.size())
                return false;
            out += s[pos++]; // "\\" and "\"" as the format writes them; others kept literally
            continue;
        }
        out += c;
    }
    return false;
}

std::string decodeFile(std::string_view bytes, bool& ok) {
    ok = true;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE)
        return utf16leToUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFE &&
        static_cast<uint8_t>(bytes[1]) == 0xFF) {
        ok = false; // big-endian files are not written by any registry editor
        return {};
    }
    if (bytes.size() >= 3 && static_cast<uint8_t>(bytes[0]) == 0xEF &&
        static_cast<uint8_t>(bytes[1]) == 0xBB && static_cast<uint8_t>(bytes[2]) == 0xBF)
        bytes.remove_prefix(3);
    return std::string(bytes);
}

} // namespace

std::optional<KeyRef> parseKey(std::string_view text) {
    const size_t sep = text.find('\\');
    const std::string_view root = text.substr(0, sep);
    KeyRef k;
    if (iequals(root, "HKLM") || iequals(root, "HKEY_LOCAL_MACHINE"))
        k.root = Root::LocalMachine;
    else if (iequals(root, "HKCU") || iequals(root, "HKEY_CURRENT_USER"))
        k.root = Root::CurrentUser;
    else
        return std::nullopt;
    if (sep != std::string_view::npos) {
        for (char c : text.substr(sep + 1)) {
            if (c == '\\' && (k.path.empty() || k.path.back() == '\\'))
                continue;
            k.path += c;
        }
        while (!k.path.empty() && k.path.back() == '\\')
            k.path.pop_back();
    }
    return k;
}

std::string rootName(Root root) {
    return root == Root::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string fullKeyName(const KeyRef& k) {
    return k.path.empty() ? rootName(k.root) : rootName(k.root) + "\\" + k.path;
}

std::string quote(const std::string& text) {
    std::string r = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            r += '\\';
        r += c;
    }
    return r + "\"";
}

std::string header() {
    return "Windows Registry Editor Version 5.00\r\n";
}

std::string keyLine(const KeyRef& k) {
    return "\r\n[" + fullKeyName(k) + "]\r\n";
}

std::string valueLine(const std::string& name, const RegValue& v) {
    std::string line = name.empty() ? "@=" : quote(name) + "=";
    switch (v.type) {
    case RegType::Sz: {
        // Line breaks and other control characters cannot stand in a quoted text.
        bool plain = true;
        for (unsigned char c : v.text)
            if (c < 0x20 || c == 0x7F)
                plain = false;
        if (plain) {
            line += quote(v.text);
        } else {
            auto units = utf8ToUtf16le(v.text);
            units.push_back(0);
            units.push_back(0);
            line += "hex(1):" + hexList(units);
        }
        break;
    }
    case RegType::Dword: {
        char buf[16];
        static const char* digits = "0123456789abcdef";
        for (int i = 0; i < 8; ++i)
            buf[i] = digits[(v.dword >> (28 - 4 * i)) & 15];
        line += "dword:" + std::string(buf, 8);
        break;
    }
    case RegType::Binary:
        line += "hex:" + hexList(v.bytes);
        break;
    default:
        line += "hex:";
        break;
    }
    return line + "\r\n";
}

ParseResult parse(std::string_view bytes) {
    ParseResult r;
    auto failAt = [&](size_t line, const std::string& why) {
        r.entries.clear();
        r.errorLine = line;
        r.error = "line " + std::to_string(line) + ": " + why;
        return r;
    };
    if (bytes.size() > kMaxFileBytes)
        return failAt(0, "file too large");
    bool ok = true;
    const std::string text = decodeFile(bytes, ok);
    if (!ok)
        return failAt(1, "unsupported text encoding");

    // Lines with their numbers; "\" at the end of a value line continues it.
    size_t pos = 0, lineNo = 0;
    bool sawHeader = false;
    std::optional<KeyRef> current;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string logical(trim(std::string_view(text).substr(pos, end - pos)));
        ++lineNo;
        const size_t firstLine = lineNo;
        pos = end + 1;
        // Only hex data continues; decided once, so long continued values stay linear.
        const bool hexLine =
            !logical.empty() && logical.front() != '[' && logical.find("=hex") != std::string::npos;
        while (hexLine && logical.back() == '\\' && pos < text.size()) {
            logical.pop_back();
            end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            logical += trim(std::string_view(text).substr(pos, end - pos));
            ++lineNo;
            pos = end + 1;
        }
        const std::string_view line = logical;
        if (line.empty() || line.front() == ';')
            continue;
        if (!sawHeader) {
            if (line != "Windows Registry Editor Version 5.00" && line != "REGEDIT4")
                return failAt(firstLine, "not a registry file (no \"Windows Registry Editor "
                                         "Version 5.00\" header)");
            sawHeader = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']')
                return failAt(firstLine, "key line without \"]\"");
            std::string_view name = line.substr(1, line.size() - 2);
            const bool del = !name.empty() && name.front() == '-';
            if (del)
                name.remove_prefix(1);
            auto k = parseKey(name);
            if (!k)
                return failAt(firstLine, "unknown root key in \"" + std::string(name) + "\"");
            Entry e;
            e.kind = del ? Entry::Kind::DeleteKey : Entry::Kind::Key;
            e.key = *k;
            e.line = firstLine;
            r.entries.push_back(e);
            if (del)
                current.reset();
            else
                current = *k;
            continue;
        }
        if (!current)
            return failAt(firstLine, "value outside of a key");
        Entry e;
        e.key = *current;
        e.line = firstLine;
        size_t p = 0;
        if (line.front() == '@') {
            p = 1;
        } else if (!parseQuoted(line, p, e.name)) {
            return failAt(firstLine, "bad value name");
        }
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
            ++p;
        if (p >= line.size() || line[p] != '=')
            return failAt(firstLine, "\"=\" expected");
        std::string_view data = trim(line.substr(p + 1));
        std::string why;
        if (data == "-") {
            e.kind = Entry::Kind::DeleteValue;
        } else if (!data.empty() && data.front() == '"') {
            size_t q = 0;
            std::string value;
            if (!parseQuoted(data, q, value) || !trim(data.substr(q)).empty())
                return failAt(firstLine, "bad text value");
            e.kind = Entry::Kind::SetValue;
            e.value = RegValue::sz(std::move(value));
        } else if (data.size() >= 6 && iequals(data.substr(0, 6), "dword:")) {
            const std::string_view digits = data.substr(6);
            if (digits.empty() || digits.size() > 8)
                return failAt(firstLine, "bad dword value");
            uint32_t v = 0;
            for (char c : digits) {
                const int d = hexDigitValue(c);
                if (d < 0)
                    return failAt(firstLine, "bad dword value");
                v = v * 16 + static_cast<uint32_t>(d);
            }
            e.kind = Entry::Kind::SetValue;
            e.value = RegValue::dw(v);
        } else if (data.size() >= 3 && iequals(data.substr(0, 3), "hex")) {
            std::string_view rest = data.substr(3);
            int type = 3;
            if (!rest.empty() && rest.front() == '(') {
                const size_t close = rest.find(')');
                if (close == std::string_view::npos || close < 2 || close > 9)
                    return failAt(firstLine, "bad hex type");
                type = 0;
                for (char c : rest.substr(1, close - 1)) {
                    const int d = hexDigitValue(c);
                    if (d < 0)
                        return failAt(firstLine, "bad hex type");
                    type = type * 16 + d;
                }
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest.front() != ':')
                return failAt(firstLine, "\":\" expected after hex");
            std::vector<uint8_t> bytesOut;
            if (!parseHexList(rest.substr(1), bytesOut, why))
                return failAt(firstLine, why);
            e.kind = Entry::Kind::SetValue;
            if (type == 3) {
                e.value = RegValue::bin(std::move(bytesOut));
            } else if (type == 1) {
                if (bytesOut.size() % 2)
                    return failAt(firstLine, "odd length of a hex(1) text");
                size_t n = bytesOut.size();
                if (n >= 2 && bytesOut[n - 1] == 0 && bytesOut[n - 2] == 0)
                    n -= 2; // the terminating NUL
                e.value = RegValue::sz(utf16leToUtf8(bytesOut.data(), n));
            } else if (type == 4) {
                if (bytesOut.size() != 4)
                    return failAt(firstLine, "a hex(4) value needs four bytes");
                e.value = RegValue::dw(bytesOut[0] | bytesOut[1] << 8 | bytesOut[2] << 16 |
                                       static_cast<uint32_t>(bytesOut[3]) << 24);
            } else {
                return failAt(firstLine,
                              "unsupported value type hex(" + std::to_string(type) + ")");
            }
        } else {
            return failAt(firstLine, "unknown value data");
        }
        r.entries.push_back(std::move(e));
    }
    if (!sawHeader)
        return failAt(lineNo ? lineNo : 1, "not a registry file (empty)");
    return r;
}

} // namespace tlv::regfile
