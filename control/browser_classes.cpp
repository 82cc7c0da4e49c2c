#include "control/browser_classes.h"

#include "control/modProcManager.h"

#include <algorithm>

namespace tlv {

const std::vector<BrowserKind>& knownBrowsers() {
    static const std::vector<BrowserKind> kBrowsers = {
        {"Firefox",
         {"firefox", "firefox-esr", "firefox-bin", "navigator"},
         {" - Mozilla Firefox", " \xE2\x80\x94 Mozilla Firefox", " - Firefox",
          " \xE2\x80\x94 Firefox"}},
        {"Chromium", {"chromium", "chromium-browser"}, {" - Chromium"}},
        {"Chrome", {"google-chrome", "google-chrome-stable"}, {" - Google Chrome"}},
        {"Epiphany", {"epiphany", "org.gnome.epiphany", "epiphany-browser"}, {}},
        {"Falkon", {"falkon"}, {" - Falkon", " \xE2\x80\x94 Falkon"}},
        {"Brave", {"brave-browser", "brave"}, {" - Brave"}},
        {"Vivaldi", {"vivaldi", "vivaldi-stable"}, {" - Vivaldi"}},
        {"Opera", {"opera"}, {" - Opera"}},
    };
    return kBrowsers;
}

const BrowserKind* browserOfWindow(const std::string& wmInstance, const std::string& wmClass) {
    const std::string cls = lowerAscii(wmClass);
    const std::string inst = lowerAscii(wmInstance);
    for (const BrowserKind& k : knownBrowsers()) {
        const auto& c = k.wmClasses;
        // The class names the program; "Navigator" is Firefox's instance name only.
        if (std::find(c.begin(), c.end(), cls) != c.end())
            return &k;
        if (inst != "navigator" && !inst.empty() && std::find(c.begin(), c.end(), inst) != c.end())
            return &k;
    }
    return nullptr;
}

std::string browserCaption(const BrowserKind& kind, const std::string& title) {
    size_t cut = std::string::npos;
    for (const std::string& s : kind.titleSuffixes)
        cut = std::min(cut, title.find(s));
    return cut == std::string::npos ? title : title.substr(0, cut);
}

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "host", "host:port", "[::1]:port": a name with a dot, localhost, or an address, and an
// optional numeric port.
bool isHostPort(const std::string& s) {
    if (s.empty())
        return false;
    std::string host = s;
    std::string port;
    if (s.front() == '[') {
        const auto close = s.find(']');
        if (close == std::string::npos)
            return false;
        host = s.substr(0, close + 1);
        if (close + 1 < s.size()) {
            if (s[close + 1] != ':')
                return false;
            port = s.substr(close + 2);
            if (port.empty())
                return false;
        }
    } else if (const auto colon = s.find(':'); colon != std::string::npos) {
        host = s.substr(0, colon);
        port = s.substr(colon + 1);
        if (port.empty())
            return false;
    }
    if (!std::all_of(port.begin(), port.end(), isDigit) || port.size() > 5)
        return false;
    if (host.front() == '[')
        return host.size() > 2;
    const bool chars = std::all_of(host.begin(), host.end(), [](char c) {
        return isAlpha(c) || isDigit(c) || c == '.' || c == '-' || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80;
    });
    const bool dotted = host.find('.') != std::string::npos && host.front() != '.' &&
                        host.back() != '.' && host.find("..") == std::string::npos;
    return chars && (dotted || lowerAscii(host) == "localhost" || !port.empty());
}

} // namespace

std::string normalizeAddress(const std::string& shown) {
    const auto b = shown.find_first_not_of(" \t");
    if (b == std::string::npos)
        return shown;
    const std::string s = shown.substr(b, shown.find_last_not_of(" \t") - b + 1);
    if (s.find_first_of(" \t\r\n") != std::string::npos)
        return shown; // search words
    const auto sep = s.find("://");
    const auto schemeEnd = s.find(':');
    if (sep != std::string::npos && sep == schemeEnd && sep > 0 && isAlpha(s[0])) {
        // "http://host" is the root page "http://host/".
        const auto pathStart = s.find_first_of("/?#", sep + 3);
        if (pathStart == std::string::npos && sep + 3 < s.size() && isHostPort(s.substr(sep + 3)))
            return s + "/";
        return s;
    }
    const auto authorityEnd = s.find_first_of("/?#");
    const std::string authority = s.substr(0, authorityEnd);
    if (!isHostPort(authority))
        return shown; // about:blank, mailto:..., a search word
    std::string out = "http://" + authority;
    if (authorityEnd == std::string::npos)
        return out + "/";
    if (s[authorityEnd] != '/')
        out += "/";
    return out + s.substr(authorityEnd);
}

} // namespace tlv
