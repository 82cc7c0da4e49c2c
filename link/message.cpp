#include "link/message.h"

#include "core/error.h"
#include "link/cp1252.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tlv {

std::string funMakeToken(std::string_view name) {
    std::string t = "%$&";
    if (name.size() < 16)
        t.append(16 - name.size(), '#');
    t.append(name);
    t += '#';
    return t;
}

std::string funBuildMessage(std::string_view token, std::string_view payload) {
    std::string m;
    m.reserve(token.size() + payload.size() + tok::kMessageEnd.size());
    m.append(token).append(payload).append(tok::kMessageEnd);
    return m;
}

std::string funBuildMessage(std::string_view token, const std::vector<std::string>& fields) {
    std::string m(token);
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m.append(tok::kPayloadToken);
        m.append(fields[i]);
    }
    m.append(tok::kMessageEnd);
    return m;
}

std::vector<std::string> funSplit(std::string_view text, std::string_view separator) {
    std::vector<std::string> out;
    if (text.empty() || separator.empty())
        return out;
    while (!text.empty()) {
        const size_t pos = text.find(separator);
        if (pos == std::string_view::npos)
            break;
        out.emplace_back(text.substr(0, pos));
        text.remove_prefix(pos + separator.size());
    }
    if (!text.empty())
        out.emplace_back(text);
    return out;
}

namespace {

// Significant digits and decimal exponent of the shortest text that reads back to value,
// or of its rounding to maxDigits digits when the shortest needs more.
template <typename T>
void decimalDigits(T value, int maxDigits, std::string& digits, int& exponent) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
    auto split = [&](std::string_view sci) {
        const size_t e = sci.find('e');
        std::string_view mant = sci.substr(0, e);
        digits.clear();
        for (char c : mant)
            if (c >= '0' && c <= '9')
                digits += c;
        std::from_chars(sci.data() + e + 1 + (sci[e + 1] == '+' ? 1 : 0), sci.data() + sci.size(),
                        exponent);
    };
    split(s);
    if (static_cast<int>(digits.size()) > maxDigits) {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                          maxDigits - 1);
        split(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
        while (digits.size() > 1 && digits.back() == '0')
            digits.pop_back();
    }
}

template <typename T>
std::string formatGeneral(T value, int maxDigits) {
    if (!std::isfinite(value))
        throw TlvError(kErrOverflow, "Overflow");
    if (value == 0)
        return "0";
    std::string out;
    if (value < 0) {
        out += '-';
        value = -value;
    }
    std::string digits;
    int exp = 0;
    decimalDigits(value, maxDigits, digits, exp);
    const int n = static_cast<int>(digits.size());
    if (exp >= -5 && exp < maxDigits) {
        if (exp < 0) {
            out += "0.";
            out.append(static_cast<size_t>(-exp - 1), '0');
            out += digits;
        } else if (exp + 1 >= n) {
            out += digits;
            out.append(static_cast<size_t>(exp + 1 - n), '0');
        } else {
            out.append(digits, 0, static_cast<size_t>(exp + 1));
            out += '.';
            out.append(digits, static_cast<size_t>(exp + 1));
        }
        return out;
    }
    out += digits[0];
    if (n > 1) {
        out += '.';
        out.append(digits, 1);
    }
    out += 'E';
    out += exp < 0 ? '-' : '+';
    const int a = exp < 0 ? -exp : exp;
    if (a < 10)
        out += '0';
    out += std::to_string(a);
    return out;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

[[noreturn]] void typeMismatch() {
    throw TlvError(kErrTypeMismatch, "Type mismatch");
}
[[noreturn]] void overflow() {
    throw TlvError(kErrOverflow, "Overflow");
}

template <typename T>
T parseReal(std::string_view text) {
    std::string_view s = trimSpaces(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // Only digits or a point may start a number here: no "inf", "nan" or hex forms.
    if (s.empty() || !((s.front() >= '0' && s.front() <= '9') || s.front() == '.'))
        typeMismatch();
    T v{};
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        overflow();
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        typeMismatch();
    return negative ? -v : v;
}

int64_t parseWhole(std::string_view text, int64_t lo, int64_t hi) {
    const std::string_view s = trimSpaces(text);
    int64_t v = 0;
    std::string_view digits = s;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec == std::errc() && r.ptr == digits.data() + digits.size() && !digits.empty()) {
        if (v < lo || v > hi)
            overflow();
        return v;
    }
    if (r.ec == std::errc::result_out_of_range)
        overflow();
    // "2.5" and "1E3" convert too, rounded half to even.
    const double d = parseReal<double>(s);
    if (!(d >= static_cast<double>(lo) - 0.5 && d <= static_cast<double>(hi) + 0.5))
        overflow();
    const double rounded = std::nearbyint(d); // default rounding mode: half to even
    if (rounded < static_cast<double>(lo) || rounded > static_cast<double>(hi))
        overflow();
    return static_cast<int64_t>(rounded);
}

} // namespace

std::string funDblToStr(double value) {
    return formatGeneral(value, 15);
}
std::string funSngToStr(float value) {
    return formatGeneral(value, 7);
}
double funStrToDbl(std::string_view text) {
    return parseReal<double>(text);
}
float funStrToSng(std::string_view text) {
    return parseReal<float>(text);
}

double funStrToDate(std::string_view text) {
    const double d = parseReal<double>(text);
    // The range of the classic Date type: years 100 to 9999.
    if (d < -657434.0 || d >= 2958466.0)
        overflow();
    return d;
}

int funStrToInt(std::string_view text) {
    return static_cast<int>(parseWhole(text, -32768, 32767));
}

int32_t funStrToLong(std::string_view text) {
    return static_cast<int32_t>(
        parseWhole(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string funLpad(std::string_view text, std::string_view padChar, int length) {
    const auto len = static_cast<int64_t>(utf8Length(text));
    std::string out;
    if (len < length && !padChar.empty()) {
        const std::string_view one = utf8Prefix(padChar, 1);
        for (int64_t i = len; i < length; ++i)
            out.append(one);
    }
    out.append(text);
    return out;
}

int32_t funHexToLong(std::string_view hexText) {
    if (hexText.empty())
        typeMismatch();
    uint64_t v = 0;
    for (char c : hexText) {
        int d = 0;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            typeMismatch();
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull)
            overflow();
    }
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

int32_t funVersionNumber(int major, int minor, int revision) {
    return major * 1000000 + minor * 1000 + revision;
}

std::string funVersionText(int32_t n) {
    const int64_t v = n < 0 ? -static_cast<int64_t>(n) : n;
    return std::string(n < 0 ? "-" : "") + std::to_string(v / 1000000) + "." +
           std::to_string((v / 1000) % 1000) + "." + std::to_string(v % 1000);
}

} // namespace tlv
