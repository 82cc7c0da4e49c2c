#pragma once

#include "platform/window_system.h"

#include <memory>
#include <string>

namespace tlv {

class Scheduler;

// The address field of browser windows through the AT-SPI2 accessibility tree. All D-Bus work
// runs on a worker thread of its own: the client thread only reads what the worker found last
// and asks it to look again, so a slow or hung browser never holds the interface.
//
// The browser application is found by its process, its frame by the window title (or the only
// frame), the field as the first editable entry, text or combo box inside a tool bar (the page's
// own content is not searched). Found fields are kept per window; a window whose field was not
// found is searched again only after a growing number of rounds or when its title changes.
// An address shown without its scheme is completed from the page's document when that names
// the same address. The AT-SPI library is one per process: so is this object.
class AtspiAccessibility : public BrowserAccessibility {
public:
    // scheduler: where change notices are posted (may be null). enableForSession: switch the
    // session's accessibility on (org.a11y.Status IsEnabled) so that browsers started later
    // expose their tree.
    explicit AtspiAccessibility(Scheduler* scheduler = nullptr, bool enableForSession = true);
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    std::optional<std::string> readAddress(const WindowEntry& window) override;
    void refresh() override;
    void setChangeListener(std::function<void()> fn) override;
    // Runs on the worker; waits for it.
    bool navigate(const WindowEntry& window, const std::string& address) override;

    // Whether an accessibility bus was found (waits for the worker's start).
    bool available();
    // One round of the worker for the windows read so far, waited for (tests, benchmarks).
    void refreshNow();

    // Counters of the worker (tests and benchmarks).
    struct Stats {
        long rounds = 0;
        long searches = 0; // tree walks for a window's field
        long reads = 0;    // reads of a known field
    };
    Stats stats() const;

private:
    struct Worker;
    std::unique_ptr<Worker> m_worker;
    Scheduler* m_scheduler;
    bool m_enable;
    std::shared_ptr<std::function<void()>> m_listener;
    void start();
};

} // namespace tlv
