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
class Scheduler;
class Timer;
class WindowSystem;

// "%$&######SessionURL#" + handle + sep + caption + sep + url + sep + "%$&######MessageEnd#".
std::string buildSessionUrlMessage(uint64_t hWnd, const std::string& caption,
                                   const std::string& url);

class UrlSpy {
public:
    static constexpr int64_t kIntervalMs = 500;
    // Receives the whole message; the link sends it on the server socket (and drops it when
    // not connected).
    using ReportFn = std::function<void(const std::string& message)>;

    UrlSpy(WindowSystem& windows, BrowserAccessibility& accessibility, Scheduler& scheduler,
           Logger& log);
    ~UrlSpy();

    void setReport(ReportFn fn) { m_report = std::move(fn); }
    // funStartSession enables it; funStopSession, subDisableWksn, funShutdownApplication not.
    void setEnabled(bool enabled);
    bool enabled() const;

    // One pass, as the timer runs it.
    void tmrURLspy_Timer();

    // The remembered windows, by "key: " + handle.
    const std::map<std::string, clsIEURL>& remembered() const { return m_remembered; }

private:
    void pass();

    WindowSystem& m_windows;
    BrowserAccessibility& m_accessibility;
    Logger& m_log;
    std::unique_ptr<Timer> m_timer;
    ReportFn m_report;
    std::map<std::string, clsIEURL> m_remembered;
};

// The watch rule of a browser window's page.
bool isWatchedAddress(const std::string& url, const std::string& caption);

} // namespace tlv
