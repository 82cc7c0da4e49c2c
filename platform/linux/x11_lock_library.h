#pragma once

#include "platform/lock_library.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace tlv {

class Scheduler;
class Timer;

// Our own desktop switch library for X11 desktops:
// - taskbar / desktop: the EWMH dock / desktop windows are unmapped, and exactly those are
//   mapped again;
// - task switching: an active keyboard and pointer grab for the lock screen, retried while
//   another program holds one;
// - Ctrl+Alt+Del: the XKB actions of the virtual-terminal switch keys and of the server kill
//   key are disabled, and put back as they were.
class X11LockLibrary : public LockLibrary {
public:
    struct Options {
        // The display to act on; when null, the library opens $DISPLAY itself.
        Display* display = nullptr;
        // The window that holds the grab (the lock screen); the root window when it gives 0.
        std::function<unsigned long()> grabWindow;
        // Told once that the switches cannot act (Wayland, no display).
        std::function<void(const std::string&)> cannotAct;
        int64_t grabRetryMs = 250;
    };
    X11LockLibrary(Scheduler& scheduler, Options options);
    ~X11LockLibrary() override;

    std::optional<int32_t> call(ShellSwitch which, int32_t arg) override;

    bool grabHeld() const { return m_grabbed; }
    size_t hiddenWindowCount(ShellSwitch which) const;

private:
    bool ready();
    int32_t showHide(const char* typeAtom, std::vector<unsigned long>& hidden, bool show);
    int32_t taskSwitching(bool allow);
    int32_t ctrlAltDel(bool allow);
    bool tryGrab();

    Scheduler& m_scheduler;
    Options m_opt;
    Display* m_dpy = nullptr;
    bool m_ownDisplay = false;
    bool m_toldCannotAct = false;
    std::vector<unsigned long> m_hiddenDocks;
    std::vector<unsigned long> m_hiddenDesktops;
    bool m_wantGrab = false;
    bool m_grabbed = false;
    std::unique_ptr<Timer> m_grabRetry;
    struct SavedAction;
    std::vector<SavedAction> m_savedActions;
};

} // namespace tlv
