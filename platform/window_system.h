#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tlv {

// One top-level window of the desktop, with what the window filters need.
struct WindowEntry {
    uint64_t id = 0;
    int pid = 0; // 0 when the window does not say which process owns it
    std::string title;
    std::string wmInstance;  // WM_CLASS instance name
    std::string wmClass;     // WM_CLASS class name
    bool visible = false;    // mapped or minimised
    bool hasOwner = false;   // transient for another window
    bool toolWindow = false; // utility, toolbar, dock... type, or kept off the taskbar
    bool appWindow = false;  // explicitly a normal application window
};

// The window system (X11 on Linux).
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Top-level windows in stacking or client-list order.
    virtual std::vector<WindowEntry> topLevelWindows() = 0;
    // Asks the window to close (the window's own close protocol); false when it could not be
    // asked. pid, exeName and title describe the window for the record.
    virtual bool requestClose(uint64_t id, int pid, const std::string& exeName,
                              const std::string& title) = 0;
    virtual bool exists(uint64_t id) = 0;
    // The process that owns the window, 0 when unknown.
    virtual int windowPid(uint64_t id) = 0;
    // Size of the screen in pixels; 0 x 0 when there is no display.
    virtual std::pair<int, int> screenPixels() = 0;
};

// The address field of a browser window, through the accessibility tree.
class BrowserAccessibility {
public:
    virtual ~BrowserAccessibility() = default;
    // The text of the window's address field; nothing when it cannot be found. An
    // implementation may answer from what it last read and look again in the background.
    virtual std::optional<std::string> readAddress(const WindowEntry& window) = 0;
    // Asks for a fresh look at the windows read since the last call.
    virtual void refresh() {}
    // Runs on the client thread when a background look found an address that changed.
    virtual void setChangeListener(std::function<void()> fn) { (void)fn; }
    // Puts the address into the field and presses Return; false when the field is not found.
    virtual bool navigate(const WindowEntry& window, const std::string& address) = 0;
};

} // namespace tlv
