#include "control/url_spy.h"

#include "control/clsInetexplorer.h"
#include "core/log.h"

namespace tlv {

namespace {
constexpr const char* kToken = "%$&######SessionURL#";
constexpr const char* kSep = "%$&####PayloadToken#";
constexpr const char* kEnd = "%$&######MessageEnd#";
} // namespace

std::string buildSessionUrlMessage(uint64_t hWnd, const std::string& caption,
                                   const std::string& url) {
    std::string m = kToken;
    m += std::to_string(hWnd);
    m += kSep;
    m += caption;
    m += kSep;
    m += url;
    m += kSep;
    m += kEnd;
    return m;
}

bool isWatchedAddress(const std::string& url, const std::string& caption) {
    if (url.size() < 5 || url == "about:blank" || caption == "about:blank")
        return false;
    return url.find('/') != std::string::npos || url.rfind("\\\\", 0) == 0;
}

UrlSpy::UrlSpy(WindowSystem& windows, BrowserAccessibility& accessibility, Logger& log)
    : m_windows(windows), m_accessibility(accessibility), m_log(log) {
    // An address read in the background after a pass is reported at once, not a tick later.
    // Only windows a pass asked for are read, so no report follows once the timer stopped
    // beyond the answer to its last pass.
    m_accessibility.setChangeListener([this] {
        if (m_ticked)
            tmrURLspy_Timer();
    });
}

UrlSpy::~UrlSpy() {
    m_accessibility.setChangeListener({});
}

void UrlSpy::tmrURLspy_Timer() {
    m_ticked = true;
    try {
        pass();
    } catch (const std::exception& e) {
        m_log.subLogError("frmMain.tmrURLspy_TimerError", e);
    }
}

void UrlSpy::pass() {
    clsInetexplorer browsers(m_windows, m_accessibility, m_log);
    for (auto& [key, w] : m_remembered)
        w.Seen = false;
    browsers.Refresh();
    for (int i = 1; i <= browsers.Count(); ++i) {
        clsIEURL candidate;
        candidate.URL = browsers.ItemURL(i);
        candidate.Caption = browsers.ItemCaption(i);
        if (!isWatchedAddress(candidate.URL, candidate.Caption))
            continue;
        candidate.hWnd = browsers.ItemhWnd(i);
        const std::string key = "key: " + std::to_string(candidate.hWnd);
        auto found = m_remembered.find(key);
        bool report = false;
        if (found != m_remembered.end()) {
            clsIEURL& known = found->second;
            known.Seen = true;
            if (candidate.Caption != known.Caption && candidate.URL != known.URL) {
                known.Caption = candidate.Caption;
                known.URL = candidate.URL;
                report = true;
            }
        } else {
            candidate.Seen = true;
            m_remembered.emplace(key, candidate);
            report = true;
        }
        if (report && m_report)
            m_report(buildSessionUrlMessage(candidate.hWnd, candidate.Caption, candidate.URL));
    }
    std::erase_if(m_remembered, [](const auto& kv) { return !kv.second.Seen; });
}

} // namespace tlv
