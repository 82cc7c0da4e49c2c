#include "core/format.h"

#include "core/dates.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tlv {

std::string formatTimeMs(int64_t ms, int format, const TimeUnits& u) {
    if (ms < 0) {
        // INT64_MIN has no magnitude; nobody has that much credit.
        const int64_t mag = ms == INT64_MIN ? INT64_MAX : -ms;
        return "-" + formatTimeMs(mag, format, u);
    }
    const int64_t secs = ms / kMsPerSecond;
    const int64_t h = secs / 3600;
    const int m = static_cast<int>((secs / 60) % 60);
    const int s = static_cast<int>(secs % 60);
    const std::string H = std::to_string(h), M = std::to_string(m), S = std::to_string(s);
    switch (format) {
    case 1:
        return H + u.h + " " + M + u.mn;
    case 2:
        return H + u.h + " " + M + u.mn + " " + S + u.sec;
    case 3: {
        std::string r = H + u.h;
        if (m != 0 || s != 0)
            r += " " + M + u.mn;
        if (s != 0)
            r += " " + S + u.sec;
        return r;
    }
    case 4:
        return std::to_string(h * 60 + m);
    case 5: {
        std::string r;
        if (h != 0)
            r += H + u.h;
        if (m != 0)
            r += " " + M + u.mn;
        if (s != 0)
            r += " " + S + u.sec;
        return r;
    }
    default: {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%02lld:%02d:%02d", static_cast<long long>(h), m, s);
        return buf;
    }
    }
}

namespace {

// A number as decimal digits: exact for what the shortest round-trip text of the value says,
// so that 1.005 rounds like the 1.005 a person reads, not like its binary neighbour.
struct Decimal {
    bool negative = false;
    std::string intDigits;  // no leading zeros; empty for 0
    std::string fracDigits; // no trailing zeros
};

template <typename F>
Decimal toDecimal(F value) {
    Decimal d;
    if (!std::isfinite(value))
        return d;
    d.negative = std::signbit(value);
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
    if (r.ec != std::errc())
        return d;
    std::string s(buf, r.ptr);
    const auto dot = s.find('.');
    d.intDigits = s.substr(0, dot);
    if (dot != std::string::npos)
        d.fracDigits = s.substr(dot + 1);
    while (!d.intDigits.empty() && d.intDigits.front() == '0')
        d.intDigits.erase(0, 1);
    while (!d.fracDigits.empty() && d.fracDigits.back() == '0')
        d.fracDigits.pop_back();
    if (d.intDigits.empty() && d.fracDigits.empty())
        d.negative = false;
    return d;
}

// Rounds half away from zero to `places` fraction digits; the fraction keeps exactly `places`.
void roundTo(Decimal& d, size_t places) {
    if (d.fracDigits.size() <= places) {
        d.fracDigits.append(places - d.fracDigits.size(), '0');
        return;
    }
    const bool up = d.fracDigits[places] >= '5';
    d.fracDigits.resize(places);
    if (!up)
        return;
    std::string all = d.intDigits + d.fracDigits;
    int i = static_cast<int>(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[i] == '9') {
            all[i] = '0';
        } else {
            ++all[i];
            break;
        }
    }
    if (i < 0)
        all.insert(all.begin(), '1');
    d.intDigits = all.substr(0, all.size() - places);
    d.fracDigits = all.substr(all.size() - places);
    while (!d.intDigits.empty() && d.intDigits.front() == '0')
        d.intDigits.erase(0, 1);
}

bool isZero(const Decimal& d) {
    return d.intDigits.empty() && d.fracDigits.find_first_not_of('0') == std::string::npos;
}

std::string general(const Decimal& d, const NumberSeparators& seps) {
    std::string r = d.negative ? "-" : "";
    r += d.intDigits.empty() ? "0" : d.intDigits;
    if (!d.fracDigits.empty())
        r += seps.decimal + d.fracDigits;
    return r;
}

std::vector<std::string> splitSections(const std::string& f) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = f[i];
        if (c == '"')
            quoted = !quoted;
        if (!quoted && c == '\\' && i + 1 < f.size()) {
            out.back() += c;
            out.back() += f[++i];
            continue;
        }
        if (!quoted && c == ';') {
            out.emplace_back();
            continue;
        }
        out.back() += c;
    }
    return out;
}

enum class Tok { Lit, Int, Frac, Point };
struct Token {
    Tok kind;
    std::string text; // literal text, or the placeholder character
};

std::vector<Token> tokenize(const std::string& f, bool& grouping) {
    std::vector<Token> toks;
    bool afterPoint = false;
    bool sawIntDigit = false;
    grouping = false;
    auto lit = [&](const std::string& s) {
        if (!toks.empty() && toks.back().kind == Tok::Lit)
            toks.back().text += s;
        else
            toks.push_back({Tok::Lit, s});
    };
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = f[i];
        if (c == '"') {
            const auto end = f.find('"', i + 1);
            const size_t stop = end == std::string::npos ? f.size() : end;
            lit(f.substr(i + 1, stop - i - 1));
            i = stop;
        } else if (c == '\\') {
            if (i + 1 < f.size())
                lit(std::string(1, f[++i]));
        } else if (c == '0' || c == '#') {
            toks.push_back({afterPoint ? Tok::Frac : Tok::Int, std::string(1, c)});
            if (!afterPoint)
                sawIntDigit = true;
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
            toks.push_back({Tok::Point, "."});
        } else if (c == ',' && !afterPoint && sawIntDigit) {
            grouping = true;
        } else {
            lit(std::string(1, c));
        }
    }
    return toks;
}

std::string formatSection(Decimal d, const std::string& section, bool withSign,
                          const NumberSeparators& seps) {
    bool grouping = false;
    const auto toks = tokenize(section, grouping);
    size_t int0 = 0, frac = 0;
    int lastFrac0 = -1;
    for (const auto& t : toks) {
        if (t.kind == Tok::Int) {
            int0 += t.text == "0";
        } else if (t.kind == Tok::Frac) {
            if (t.text == "0")
                lastFrac0 = static_cast<int>(frac);
            ++frac;
        }
    }
    roundTo(d, frac);
    std::string intStr = d.intDigits;
    if (intStr.size() < int0)
        intStr.insert(0, int0 - intStr.size(), '0');
    if (grouping && intStr.size() > 3) {
        std::string g;
        const size_t n = intStr.size();
        for (size_t i = 0; i < n; ++i) {
            if (i != 0 && (n - i) % 3 == 0)
                g += seps.thousands;
            g += intStr[i];
        }
        intStr = g;
    }
    const size_t lastNonZero = d.fracDigits.find_last_not_of('0');
    const size_t keep =
        std::max<size_t>(lastFrac0 + 1, lastNonZero == std::string::npos ? 0 : lastNonZero + 1);
    std::string out = withSign && d.negative && !isZero(d) ? "-" : "";
    bool numberDone = false;
    size_t fracIndex = 0;
    for (const auto& t : toks) {
        switch (t.kind) {
        case Tok::Lit:
            out += t.text;
            break;
        case Tok::Int:
            if (!numberDone)
                out += intStr;
            numberDone = true;
            break;
        case Tok::Point:
            if (!numberDone)
                out += intStr;
            numberDone = true;
            out += seps.decimal;
            break;
        case Tok::Frac:
            if (fracIndex < keep && fracIndex < d.fracDigits.size())
                out += d.fracDigits[fracIndex];
            ++fracIndex;
            break;
        }
    }
    return out;
}

template <typename F>
std::string formatNumberT(F value, const std::string& format, const NumberSeparators& seps) {
    const Decimal d = toDecimal(value);
    if (format.empty())
        return general(d, seps);
    const auto sections = splitSections(format);
    if (d.negative && sections.size() >= 2 && !sections[1].empty()) {
        Decimal pos = d;
        pos.negative = false;
        return formatSection(pos, sections[1], false, seps);
    }
    if (!d.negative && isZero(d) && sections.size() >= 3 && !sections[2].empty())
        return formatSection(d, sections[2], true, seps);
    return formatSection(d, sections[0], true, seps);
}

bool hasDigitPlaceholder(const std::string& f) {
    bool grouping = false;
    for (const auto& t : tokenize(f, grouping))
        if (t.kind != Tok::Lit)
            return true;
    return false;
}

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty())
        return;
    for (size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size()))
        s.replace(pos, from.size(), to);
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::string quoteLiteral(const std::string& text) {
    if (text.find('"') == std::string::npos)
        return "\"" + text + "\"";
    std::string q;
    for (char c : text) {
        q += '\\';
        q += c;
    }
    return q;
}

} // namespace

std::string formatNumber(double value, const std::string& format, const NumberSeparators& seps) {
    return formatNumberT(value, format, seps);
}

std::string funFormatAmount(float amount, std::string& amountFormat, const std::string& marker,
                            const std::string& currencySymbol, const NumberSeparators& seps) {
    std::string working;
    if (!currencySymbol.empty()) {
        if (!marker.empty() && amountFormat.find(marker) == std::string::npos)
            amountFormat = marker + " " + amountFormat;
        working = amountFormat;
        replaceAll(working, marker, quoteLiteral(currencySymbol));
    } else {
        working = amountFormat;
        replaceAll(working, marker, "");
        working = trim(working);
    }
    std::string result;
    if (!working.empty() && !hasDigitPlaceholder(working)) {
        // A format of literals only (the symbol put in front of an empty format) would drop
        // the amount itself: the general number form follows the literals.
        result = formatNumberT(amount, working, seps) + " " + formatNumberT(amount, "", seps);
    } else {
        result = formatNumberT(amount, working, seps);
    }
    result = trim(result);
    for (auto pos = result.find("  "); pos != std::string::npos; pos = result.find("  "))
        result.replace(pos, 2, " ");
    return result;
}

} // namespace tlv
