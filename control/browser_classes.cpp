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

} // namespace tlv
