#pragma once

// The browsers the client knows, in one place: their window classes and the suffix each adds to
// its window title.

#include <string>
#include <vector>

namespace tlv {

struct BrowserKind {
    std::string name;
    std::vector<std::string> wmClasses;     // WM_CLASS class or instance, compared in lower case
    std::vector<std::string> titleSuffixes; // the text from the suffix onward is removed
};

const std::vector<BrowserKind>& knownBrowsers();
// The browser of a window class, or nullptr.
const BrowserKind* browserOfWindow(const std::string& wmInstance, const std::string& wmClass);
// The title without the browser's own suffix.
std::string browserCaption(const BrowserKind& kind, const std::string& title);
// The address as the browser means it: browsers show web addresses without "http://" (and a
// root page as "host:port"), so an address of a host without a scheme gets "http://" and an
// address without a path gets "/". Anything else (about:blank, search text) is kept as shown.
std::string normalizeAddress(const std::string& shown);

} // namespace tlv
