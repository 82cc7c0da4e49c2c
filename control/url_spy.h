#pragma once

// tmrURLspy: twice a second during a session, every browser window that is new or whose page
// changed is reported to the server.

#include "control/clsIEURL.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tlv {

class BrowserAccessibility;
class Logger;
class WindowSystem;

// "%$&######SessionURL#" + handle + sep + caption + sep + url + sep + "%$&######MessageEnd#".
std::string buildSessionUrlMessage(uint64_t hWnd, const std::string& caption,
                                   const std::string& url);

class UrlSpy {
public:
    // Receives the whole message; the link sends it on the server socket (and drops it when
    // not connected).
    using ReportFn = std::function<void(const std::string& message)>;

    UrlSpy(WindowSystem& windows, BrowserAccessibility& accessibility, Logger& log);
    ~UrlSpy();

    void setReport(ReportFn fn) { m_report = std::move(fn); }
    // One pass: the event of the client's tmrURLspy (500 ms, while a session runs).
    void tmrURLspy_Timer();

    // The remembered windows, by "key: " + handle.
    const std::map<std::string, clsIEURL>& remembered() const { return m_remembered; }

private:
    void pass();

    WindowSystem& m_windows;
    BrowserAccessibility& m_accessibility;
    Logger& m_log;
    ReportFn m_report;
    bool m_ticked = false;
    std::map<std::string, clsIEURL> m_remembered;
};

// The watch rule of a browser window's page.
bool isWatchedAddress(const std::string& url, const std::string& caption);

} // namespace tlv
