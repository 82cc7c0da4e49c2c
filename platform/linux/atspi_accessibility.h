#pragma once

#include "platform/window_system.h"

#include <map>
#include <string>

namespace tlv {

// The address field of browser windows through the AT-SPI2 accessibility tree: the browser
// application is found by its process, its frame by the window title, the field as the first
// editable entry inside a tool bar. Without an accessibility bus nothing is readable.
class AtspiAccessibility : public BrowserAccessibility {
public:
    AtspiAccessibility();
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    std::optional<std::string> readAddress(const WindowEntry& window) override;
    bool navigate(const WindowEntry& window, const std::string& address) override;

    // Whether an accessibility bus was found.
    bool available();

private:
    void* findField(const WindowEntry& window); // AtspiAccessible*, owned by the cache
    void forget(uint64_t window);

    int m_state = 0; // 0 not tried, 1 initialised, -1 no bus
    struct Cached {
        int pid = 0;
        void* field = nullptr;
    };
    std::map<uint64_t, Cached> m_cache;
};

} // namespace tlv
