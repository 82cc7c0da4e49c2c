#pragma once

#include "platform/window_system.h"

#include <map>
#include <string>

struct xcb_connection_t;

namespace tlv {

// Top-level windows, close requests and the screen size on an X11 display (through XCB, whose
// errors come back per request instead of through a process-wide handler). A window's process
// comes from the X resource extension, or from _NET_WM_PID where the server cannot say.
class X11WindowSystem : public WindowSystem {
public:
    // displayName empty: $DISPLAY.
    explicit X11WindowSystem(std::string displayName = {});
    ~X11WindowSystem() override;
    X11WindowSystem(const X11WindowSystem&) = delete;
    X11WindowSystem& operator=(const X11WindowSystem&) = delete;

    std::vector<WindowEntry> topLevelWindows() override;
    bool requestClose(uint64_t id, int pid, const std::string& exeName,
                      const std::string& title) override;
    bool exists(uint64_t id) override;
    int windowPid(uint64_t id) override;
    std::pair<int, int> screenPixels() override;

private:
    bool connect();
    uint32_t atom(const char* name);
    // A window's description in two steps: the requests, then their replies.
    struct Query;
    Query ask(uint32_t window);
    WindowEntry answer(const Query& q, bool rootChild);

    std::string m_displayName;
    xcb_connection_t* m_conn = nullptr;
    uint32_t m_root = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_hasRes = false;
    std::map<std::string, uint32_t> m_atoms;
};

} // namespace tlv
