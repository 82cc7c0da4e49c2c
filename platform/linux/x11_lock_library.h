#pragma once

#include "platform/fd_watch.h"
#include "platform/lock_library.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;
typedef union _XkbAction XkbAction;

namespace tlv {

class Scheduler;
class Timer;

// Our own desktop switch library for X11 desktops:
// - taskbar / desktop: the EWMH dock / desktop windows are unmapped, and exactly those are
//   mapped again;
// - task switching: the keyboard and the pointer are grabbed on an X connection of the
//   library's own, so nothing the toolkit does (a popup closing) can release them; the
//   client's windows get their input forwarded from that connection. The grabs are checked on
//   a short timer and taken again when lost; the lock windows are kept on all desktops, above,
//   full screen, and raised again when another window maps over them;
// - Ctrl+Alt+Del: the XKB actions of the virtual-terminal switch keys, of the server kill key
//   and of the grab-breaking keys are disabled, again after every keymap change or new
//   keyboard, and put back as they were.
// What is hidden or disabled is written to a state file, so that the next client repairs
// what a client that died while locked left behind.
class X11LockLibrary : public LockLibrary {
public:
    struct Options {
        // The connection to act on; when null, the library opens $DISPLAY itself. Never the
        // toolkit's connection: the toolkit releases grabs held there.
        Display* display = nullptr;
        // The lock screen's top-level windows, the main one first (may be empty).
        std::function<std::vector<unsigned long>()> lockWindows;
        // Every top-level window of the client (lock screen, popups, dialogs): they receive
        // the grabbed input and may stay above the lock screen.
        std::function<std::vector<unsigned long>()> ownWindows;
        // Told once that the switches cannot act (Wayland, no display).
        std::function<void(const std::string&)> cannotAct;
        // Other notes for the client's log (a lost grab taken again, leftovers repaired).
        std::function<void(const std::string&)> log;
        // Watches the library's connection; without it, events are read on the timer.
        FdWatchFactory watchFd;
        // Where the leftovers of a client that died while locked are recorded ("" = nowhere).
        std::string stateFile;
        int64_t checkMs = 500;
    };
    X11LockLibrary(Scheduler& scheduler, Options options);
    ~X11LockLibrary() override;
    X11LockLibrary(const X11LockLibrary&) = delete;
    X11LockLibrary& operator=(const X11LockLibrary&) = delete;

    std::optional<int32_t> call(ShellSwitch which, int32_t arg) override;

    bool grabHeld() const { return m_grabbed; }
    size_t hiddenWindowCount(ShellSwitch which) const;
    // Reads the connection's pending events now (what the fd watch does).
    void pump();

private:
    struct SavedAction {
        unsigned keycode = 0;
        int index = 0;
        unsigned char bytes[8] = {};
    };

    bool ready();
    int32_t showHide(const char* typeAtom, std::vector<unsigned long>& hidden, bool show);
    int32_t taskSwitching(bool allow);
    int32_t ctrlAltDel(bool allow);
    // Runs edit over every key action of the core keyboard and writes back the keys it
    // changed; whether anything was written, or nothing when the keymap cannot be read.
    std::optional<bool>
    editKeyActions(const std::function<bool(unsigned keycode, int index, XkbAction& action)>& edit);
    std::optional<bool> removeSwitchActions();
    bool restoreSwitchActions();
    void check();
    bool takeGrabs();
    void pumpOnce();
    void forward(XEvent& e);
    unsigned long pointerTarget(int rootX, int rootY, int* x, int* y);
    unsigned long keyTarget();
    void applyLockHints();
    void keepOnTop();
    void keepFocus();
    std::vector<unsigned long> ownTopLevels();
    void selectRootEvents(bool on);
    void loadState();
    void saveState();

    Scheduler& m_scheduler;
    Options m_opt;
    Display* m_dpy = nullptr;
    bool m_ownDisplay = false;
    bool m_toldCannotAct = false;
    int m_xkbEvent = -1;
    std::unique_ptr<FdWatch> m_watch;
    std::vector<unsigned long> m_hiddenDocks;
    std::vector<unsigned long> m_hiddenDesktops;
    std::vector<SavedAction> m_savedActions;
    bool m_actionsOff = false;
    bool m_wantGrab = false;
    bool m_grabbed = false;
    bool m_toldLost = false;
    std::unique_ptr<Timer> m_check;
    std::unique_ptr<Timer> m_raise;
    std::set<unsigned long> m_hinted;
    unsigned long m_pressTarget = 0;
    int m_pressDx = 0, m_pressDy = 0;
    bool m_pumping = false;
    // The state file holds this display's record (read or written by us).
    bool m_stateOurs = false;
};

} // namespace tlv
