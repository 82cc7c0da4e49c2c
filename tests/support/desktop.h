#pragma once

// A private X desktop for tests that drive the real programs as a person would: Xvfb with a real
// window manager, input through XTEST (xdotool), and the screen's pixels. Nothing here touches
// the display the tests were started from; only the processes started here are ever signalled.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tlv::test {

struct DesktopOptions {
    int width = 1366;
    int height = 768;
    // "openbox", "xfwm4", or "" for none.
    std::string windowManager = "openbox";
};

class Desktop {
public:
    explicit Desktop(DesktopOptions options = {});
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // The X server is up and the window manager (if any) manages the screen.
    bool ready() const { return m_ready; }
    const std::string& display() const { return m_display; } // ":93"
    // What a child needs in its environment to run on this desktop (DISPLAY, and the xcb Qt
    // platform over the offscreen one the suite runs with).
    std::vector<std::string> env() const;
    const DesktopOptions& options() const { return m_options; }

    // Runs a program on this display and waits up to timeoutMs. The exit code, or -1 when it
    // did not end in time (it is then killed). Standard output goes into *out when given.
    int run(const std::vector<std::string>& argv, std::string* out = nullptr,
            int timeoutMs = 10000) const;

    // Real input through XTEST.
    void click(int x, int y, int button = 1) const;
    void move(int x, int y) const;
    // Space-separated chords: "ctrl+alt+Return", "Tab Tab Return".
    void key(const std::string& chords) const;
    void type(const std::string& text) const;

    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        bool empty() const { return width <= 0 || height <= 0; }
        int centerX() const { return x + width / 2; }
        int centerY() const { return y + height / 2; }
    };

    // Client windows (those with WM_STATE, or top-level ones without a window manager) whose
    // WM_NAME or _NET_WM_NAME matches the regular expression, and whose _NET_WM_PID is pid when
    // pid > 0. Viewable ones only.
    std::vector<unsigned long> windows(const std::string& nameRegex, int pid = 0) const;
    // The first such window, waiting up to timeoutMs; 0 when none came.
    unsigned long waitWindow(const std::string& nameRegex, int timeoutMs = 10000,
                             int pid = 0) const;
    // The window's area in root coordinates (without the frame a window manager adds).
    Rect geometry(unsigned long window) const;
    bool viewable(unsigned long window) const;
    // The client window at the top of the stacking order (the one in a frame when framed).
    unsigned long topmost() const;
    std::string windowName(unsigned long window) const;

    struct Image {
        int width = 0;
        int height = 0;
        std::vector<uint32_t> rgb; // 0xRRGGBB, row by row
        uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
    };
    // The screen's pixels in r (the whole screen when r is empty).
    Image grab(Rect r) const;
    Image grab() const { return grab(Rect{}); }
    static bool savePng(const Image& image, const std::string& path);

    // The screen grows by a monitor of this size to the right of the others, as when a screen
    // is plugged in (RandR: the screen size changes and a monitor is added). False where the
    // X server cannot do it: Xvfb's screen cannot grow past its start size.
    bool addMonitor(int width, int height);

private:
    DesktopOptions m_options;
    std::string m_display;
    int m_xvfb = -1;
    int m_wm = -1;
    bool m_ready = false;
    int m_monitors = 1;
    int m_right = 0;
};

// Polls until pred() holds or timeoutMs passed; true when it held.
bool waitUntil(const std::function<bool()>& pred, int timeoutMs, int stepMs = 50);

} // namespace tlv::test
