#pragma once

#include "tests/support/desktop.h"
#include "tests/support/screen_search.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tlv::test {

// The client's controls as a person sees them: found on the screen's pixels by the colours of
// the client's theme, never in the program's memory. Rectangles are in root coordinates.
namespace look {
inline constexpr uint32_t kTile = 0x0f1a2b; // usage tile, language list
inline constexpr uint32_t kTileFocused = 0x12263b;
inline constexpr uint32_t kTileChecked = 0x193852; // the chosen tile (accent over the panel)
inline constexpr uint32_t kTileCheckedFocused = 0x1c4360;
inline constexpr uint32_t kField = 0x0c1524; // text box
// The main button of a window, enabled: its role or a dialog's default button.
inline constexpr uint32_t kPrimary = 0x1670a8;
inline constexpr uint32_t kPrimaryHover = 0x1878b3;
inline constexpr uint32_t kButton = 0x22324a; // other buttons
inline constexpr uint32_t kButtonHover = 0x2a3d5a;
inline constexpr uint32_t kDanger = 0x3a1f28; // closing the session
inline constexpr uint32_t kDangerHover = 0x4a2531;
inline constexpr uint32_t kAccent = 0x2eaadc; // focus ring, chosen tile's border
} // namespace look

// The lock screen in one look.
struct LockScreenView {
    bool shown = false;
    Rect window;
    // Usage tiles, left to right: prepaid card, client account, self-service.
    std::vector<Rect> tiles;
    // The chosen tile's index in tiles, or -1.
    int chosen = -1;
    // Text boxes of the panel, top to bottom: the card number, or the login and the password.
    std::vector<Rect> fields;
    // The field with the focus ring, or -1.
    int focused = -1;
    // The enabled main button: Activate, or Resume in the paused and out-of-credit states.
    std::optional<Rect> primary;
    // The other buttons of the panel, left to right (Close the session).
    std::vector<Rect> buttons;
    std::optional<Rect> language;
    // The logo at the top of the panel (target of the staff's Ctrl+Alt click).
    std::optional<Rect> logo;
};

// A top-level window of the client that is not the lock screen (status window, message box,
// dialog): its buttons in reading order and its text boxes.
struct WindowView {
    bool shown = false;
    unsigned long id = 0;
    Rect window;
    std::vector<Rect> primary;
    std::vector<Rect> buttons; // secondary buttons
    std::vector<Rect> danger;
    std::vector<Rect> fields;
    // Every button, primary or not, in reading order.
    std::vector<Rect> allButtons;
};

class ScreenUser {
public:
    ScreenUser(const Desktop& desktop, Rect screen, int clientPid)
        : m_d(desktop), m_screen(screen), m_pid(clientPid) {}
    void setClientPid(int pid) { m_pid = pid; }

    // The lock screen: the client's window that covers the whole screen.
    LockScreenView lockScreen() const;
    unsigned long lockScreenWindow() const;
    // Looks until READY holds; the last look (shown=false when the lock screen never came).
    LockScreenView waitLockScreen(const std::function<bool(const LockScreenView&)>& ready,
                                  int timeoutMs = 15000) const;
    WindowView window(const std::string& nameRegex) const;
    WindowView waitWindow(const std::string& nameRegex,
                          const std::function<bool(const WindowView&)>& ready,
                          int timeoutMs = 15000) const;

    void click(const Rect& r, int button = 1) const;
    // Clicks R and waits until the pixels of WATCH change (the click was taken): false when
    // they did not within TIMEOUTMS.
    bool clickAndSee(const Rect& r, const Rect& watch, int timeoutMs = 5000) const;
    // Ctrl+Alt held during the click, as the staff gesture wants.
    void ctrlAltClick(const Rect& r) const;
    void key(const std::string& chords) const { m_d.key(chords); }
    void type(const std::string& text) const { m_d.type(text); }
    // The pixels of R (root coordinates).
    Image grab(const Rect& r) const { return m_d.grab(r); }
    const Desktop& desktop() const { return m_d; }

private:
    const Desktop& m_d;
    Rect m_screen;
    int m_pid;
};

} // namespace tlv::test
