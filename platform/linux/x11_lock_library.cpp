#include "platform/linux/x11_lock_library.h"

#include "platform/scheduler.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XKBstr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tlv {

namespace {

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// Errors of a request on a window that has just gone are expected: each public entry point
// keeps them away from Xlib's default handler, which would end the process.
class QuietErrors {
public:
    explicit QuietErrors(Display* d) : m_d(d), m_old(XSetErrorHandler(ignoreErrors)) {}
    ~QuietErrors() {
        XSync(m_d, False);
        XSetErrorHandler(m_old);
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    Display* m_d;
    int (*m_old)(Display*, XErrorEvent*);
};

std::vector<Window> windowListProperty(Display* d, Window w, const char* name) {
    std::vector<Window> r;
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 16, False, XA_WINDOW, &type,
                           &format, &n, &after, &data) == Success &&
        data) {
        if (format == 32)
            for (unsigned long i = 0; i < n; ++i)
                r.push_back(reinterpret_cast<unsigned long*>(data)[i]);
        XFree(data);
    }
    return r;
}

std::vector<Window> childrenOf(Display* d, Window w) {
    std::vector<Window> r;
    Window rootRet = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, w, &rootRet, &parent, &children, &count)) {
        r.assign(children, children + count);
        if (children)
            XFree(children);
    }
    return r;
}

// Windows below the root that may carry the EWMH type: the managed clients and the root's
// own children (docks and desktops are often not reparented).
std::vector<Window> candidateWindows(Display* d) {
    std::vector<Window> r = windowListProperty(d, DefaultRootWindow(d), "_NET_CLIENT_LIST");
    for (Window w : childrenOf(d, DefaultRootWindow(d)))
        r.push_back(w);
    std::sort(r.begin(), r.end());
    r.erase(std::unique(r.begin(), r.end()), r.end());
    return r;
}

bool hasWindowType(Display* d, Window w, Atom wanted) {
    const Atom prop = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(d, w, prop, 0, 64, False, XA_ATOM, &type, &format, &n, &after, &data) ==
            Success &&
        data) {
        if (format == 32)
            for (unsigned long i = 0; i < n && !found; ++i)
                found = reinterpret_cast<unsigned long*>(data)[i] == wanted;
        XFree(data);
    }
    return found;
}

bool viewable(Display* d, Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

// The child of the root that holds w (a window manager's frame, or w itself).
Window topLevelOf(Display* d, Window w) {
    const Window root = DefaultRootWindow(d);
    for (int depth = 0; depth < 16 && w && w != root; ++depth) {
        Window rootRet = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, w, &rootRet, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root)
            return w;
        w = parent;
    }
    return 0;
}

// Under Wayland an X11 grab or unmap reaches only other X11 clients: the desktop stays open.
bool isWaylandSession() {
    const char* t = std::getenv("XDG_SESSION_TYPE");
    return t && std::strcmp(t, "wayland") == 0;
}

// What takes the user out of the locked X session: switching to another virtual terminal,
// ending the server, and the keys that break every grab.
bool isEscapeAction(const XkbAction& a) {
    if (a.type == XkbSA_SwitchScreen || a.type == XkbSA_Terminate)
        return true;
    if (a.type != XkbSA_XFree86Private)
        return false;
    static const char* const kBreakers[] = {"Ungrab", "ClsGrb", "PrWins", "PrGrbs"};
    const auto* data = reinterpret_cast<const char*>(a.any.data);
    for (const char* b : kBreakers)
        if (std::strncmp(data, b, std::strlen(b)) == 0)
            return true;
    return false;
}

constexpr const char* kStateMagic = "tlvcli-lockdown 1";
constexpr size_t kStateMaxBytes = 64 * 1024;
constexpr size_t kStateMaxEntries = 1024;

} // namespace

X11LockLibrary::X11LockLibrary(Scheduler& scheduler, Options options)
    : m_scheduler(scheduler), m_opt(std::move(options)) {
    m_dpy = m_opt.display;
}

X11LockLibrary::~X11LockLibrary() {
    // A normal end leaves the desktop as it was found.
    if (m_dpy && m_check) {
        {
            QuietErrors quiet(m_dpy);
            taskSwitching(true);
            showHide(nullptr, m_hiddenDocks, true);
            showHide(nullptr, m_hiddenDesktops, true);
            ctrlAltDel(true);
            selectRootEvents(false);
        }
        saveState();
    }
    m_watch.reset();
    if (m_ownDisplay && m_dpy)
        XCloseDisplay(m_dpy);
}

bool X11LockLibrary::ready() {
    if (!m_dpy && !isWaylandSession()) {
        const char* display = std::getenv("DISPLAY");
        if (display && *display) {
            m_dpy = XOpenDisplay(nullptr);
            m_ownDisplay = m_dpy != nullptr;
        }
    }
    if (!m_dpy) {
        if (!m_toldCannotAct) {
            m_toldCannotAct = true;
            if (m_opt.cannotAct)
                m_opt.cannotAct(
                    isWaylandSession()
                        ? "X11LockLibrary: a Wayland session: the desktop cannot be locked"
                        : "X11LockLibrary: no X display: the desktop cannot be locked");
        }
        return false;
    }
    if (!m_check) {
        int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        if (XkbQueryExtension(m_dpy, &opcode, &event, &error, &major, &minor))
            m_xkbEvent = event;
        m_check = m_scheduler.createTimer([this] { check(); });
        m_raise = m_scheduler.createTimer([this] {
            QuietErrors quiet(m_dpy);
            keepOnTop();
        });
        m_raise->setSingleShot(true);
        m_raise->setInterval(50);
        if (m_opt.watchFd)
            m_watch = m_opt.watchFd(ConnectionNumber(m_dpy), [this] { pump(); });
        loadState();
    }
    return true;
}

size_t X11LockLibrary::hiddenWindowCount(ShellSwitch which) const {
    return which == ShellSwitch::Taskbar ? m_hiddenDocks.size() : m_hiddenDesktops.size();
}

std::optional<int32_t> X11LockLibrary::call(ShellSwitch which, int32_t arg) {
    if (!ready())
        return 0;
    int32_t r = 0;
    const bool on = arg != 0;
    {
        QuietErrors quiet(m_dpy);
        switch (which) {
        case ShellSwitch::Taskbar:
            r = showHide("_NET_WM_WINDOW_TYPE_DOCK", m_hiddenDocks, on);
            break;
        case ShellSwitch::Desktop:
            r = showHide("_NET_WM_WINDOW_TYPE_DESKTOP", m_hiddenDesktops, on);
            break;
        case ShellSwitch::TaskSwitching:
            r = taskSwitching(on);
            break;
        case ShellSwitch::CtrlAltDel:
            r = ctrlAltDel(on);
            break;
        }
    }
    saveState();
    pump();
    return r;
}

int32_t X11LockLibrary::showHide(const char* typeAtom, std::vector<unsigned long>& hidden,
                                 bool show) {
    if (show) {
        // Only what is still unmapped and still a dock / desktop: the list may come from a
        // client of an earlier X server.
        const Atom dock = XInternAtom(m_dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
        const Atom desktop = XInternAtom(m_dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
        for (Window w : hidden) {
            XWindowAttributes attr{};
            if (!XGetWindowAttributes(m_dpy, w, &attr) || attr.map_state != IsUnmapped)
                continue;
            if (hasWindowType(m_dpy, w, dock) || hasWindowType(m_dpy, w, desktop))
                XMapWindow(m_dpy, w);
        }
        hidden.clear();
        return 1;
    }
    const Atom wanted = XInternAtom(m_dpy, typeAtom, False);
    for (Window w : candidateWindows(m_dpy)) {
        XWindowAttributes attr{};
        if (!XGetWindowAttributes(m_dpy, w, &attr) || attr.map_state == IsUnmapped)
            continue;
        if (!hasWindowType(m_dpy, w, wanted))
            continue;
        XUnmapWindow(m_dpy, w);
        // Locking twice must not forget what the first lock hid.
        if (std::find(hidden.begin(), hidden.end(), w) == hidden.end())
            hidden.push_back(w);
    }
    return 1;
}

void X11LockLibrary::selectRootEvents(bool on) {
    const Window root = DefaultRootWindow(m_dpy);
    // Maps and restacks over the lock screen, focus taken by a grab elsewhere.
    XSelectInput(m_dpy, root, on ? SubstructureNotifyMask | FocusChangeMask : NoEventMask);
    if (m_xkbEvent >= 0) {
        const unsigned long mask = on ? XkbNewKeyboardNotifyMask | XkbMapNotifyMask : 0;
        XkbSelectEvents(m_dpy, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask, mask);
    }
    // A keyboard plugged in brings its own keymap.
    int opcode = 0, event = 0, error = 0;
    if (XQueryExtension(m_dpy, "XInputExtension", &opcode, &event, &error)) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        if (on)
            XISetMask(bits, XI_HierarchyChanged);
        XIEventMask mask{XIAllDevices, static_cast<int>(sizeof bits), bits};
        XISelectEvents(m_dpy, root, &mask, 1);
    }
}

bool X11LockLibrary::takeGrabs() {
    const Window root = DefaultRootWindow(m_dpy);
    // On the root: it never becomes unviewable, which would end the grab. The events come to
    // this connection alone and are forwarded to the client's own windows.
    const int k = XGrabKeyboard(m_dpy, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    const int p =
        XGrabPointer(m_dpy, root, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                     GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    return k == GrabSuccess && p == GrabSuccess;
}

int32_t X11LockLibrary::taskSwitching(bool allow) {
    if (allow) {
        if (!m_wantGrab)
            return 1;
        m_wantGrab = false;
        m_check->stop();
        m_raise->stop();
        XUngrabPointer(m_dpy, CurrentTime);
        XUngrabKeyboard(m_dpy, CurrentTime);
        m_grabbed = false;
        m_hinted.clear();
        m_pressTarget = 0;
        if (!m_actionsOff)
            selectRootEvents(false);
        return 1;
    }
    m_wantGrab = true;
    selectRootEvents(true);
    m_grabbed = takeGrabs();
    // Re-taking a grab this connection holds is a cheap no-op: the timer checks by doing it.
    m_check->start(m_opt.checkMs);
    applyLockHints();
    return 1;
}

void X11LockLibrary::check() {
    if (!m_dpy)
        return;
    {
        QuietErrors quiet(m_dpy);
        if (m_wantGrab) {
            const bool had = m_grabbed;
            m_grabbed = takeGrabs();
            // Another program holding a grab (an open menu elsewhere, a screen saver) is
            // waited out; the log hears of it once.
            if (!m_grabbed && !m_toldLost) {
                m_toldLost = true;
                if (m_opt.log)
                    m_opt.log("X11LockLibrary: another program holds the keyboard or the "
                              "pointer: the lock takes them when they are free");
            } else if (m_grabbed && !had && m_toldLost && m_opt.log) {
                m_toldLost = false;
                m_opt.log("X11LockLibrary: the keyboard and the pointer are held again");
            }
            applyLockHints();
            keepFocus();
        }
    }
    pump();
}

void X11LockLibrary::keepFocus() {
    // A window that came and went (or a desktop switch) can leave the focus anywhere: the
    // toolkit then treats the lock screen as inactive (a list that will not open again).
    if (!m_opt.lockWindows)
        return;
    const std::vector<unsigned long> lock = m_opt.lockWindows();
    if (lock.empty() || !viewable(m_dpy, lock.front()))
        return;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_dpy, &focus, &revert);
    const std::vector<unsigned long> own =
        m_opt.ownWindows ? m_opt.ownWindows() : std::vector<unsigned long>{};
    if (std::find(own.begin(), own.end(), focus) != own.end() ||
        std::find(lock.begin(), lock.end(), focus) != lock.end())
        return;
    XSetInputFocus(m_dpy, lock.front(), RevertToParent, CurrentTime);
}

void X11LockLibrary::applyLockHints() {
    if (!m_opt.lockWindows)
        return;
    const Window root = DefaultRootWindow(m_dpy);
    const auto atom = [this](const char* n) { return XInternAtom(m_dpy, n, False); };
    const auto send = [&](Window w, Atom type, long a0, long a1, long a2, long a3) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = type;
        e.xclient.format = 32;
        e.xclient.data.l[0] = a0;
        e.xclient.data.l[1] = a1;
        e.xclient.data.l[2] = a2;
        e.xclient.data.l[3] = a3;
        XSendEvent(m_dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    };
    for (unsigned long w : m_opt.lockWindows()) {
        if (!w)
            continue;
        // Shown again, a window gets its hints again: the toolkit rewrites them at each map.
        if (!viewable(m_dpy, w)) {
            m_hinted.erase(w);
            continue;
        }
        if (!m_hinted.insert(w).second)
            continue;
        // On every desktop, above the others, full screen, in no task list: both as the
        // window manager's requests and as the properties a manager reads when it maps.
        const unsigned long all = 0xFFFFFFFFul;
        XChangeProperty(m_dpy, w, atom("_NET_WM_DESKTOP"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&all), 1);
        send(w, atom("_NET_WM_DESKTOP"), static_cast<long>(all), 2, 0, 0);
        const Atom state = atom("_NET_WM_STATE");
        constexpr long kAdd = 1, kSourcePager = 2;
        send(w, state, kAdd, static_cast<long>(atom("_NET_WM_STATE_STICKY")),
             static_cast<long>(atom("_NET_WM_STATE_ABOVE")), kSourcePager);
        send(w, state, kAdd, static_cast<long>(atom("_NET_WM_STATE_FULLSCREEN")),
             static_cast<long>(atom("_NET_WM_STATE_SKIP_TASKBAR")), kSourcePager);
        send(w, state, kAdd, static_cast<long>(atom("_NET_WM_STATE_SKIP_PAGER")), 0, kSourcePager);
    }
}

std::vector<unsigned long> X11LockLibrary::ownTopLevels() {
    std::vector<unsigned long> r;
    if (!m_opt.ownWindows)
        return r;
    for (unsigned long w : m_opt.ownWindows())
        if (const Window t = topLevelOf(m_dpy, w))
            r.push_back(t);
    return r;
}

void X11LockLibrary::keepOnTop() {
    if (!m_wantGrab || !m_opt.lockWindows)
        return;
    const std::vector<unsigned long> lock = m_opt.lockWindows();
    if (lock.empty() || !viewable(m_dpy, lock.front()))
        return;
    std::vector<unsigned long> own = ownTopLevels();
    std::vector<unsigned long> lockTops;
    for (unsigned long w : lock)
        if (const Window t = topLevelOf(m_dpy, w))
            lockTops.push_back(t);
    own.insert(own.end(), lockTops.begin(), lockTops.end());
    // The root's children, bottom to top: above the lowest lock window only the client's
    // own windows may be viewable.
    const std::vector<Window> stack = childrenOf(m_dpy, DefaultRootWindow(m_dpy));
    bool aboveLock = false, intruder = false;
    for (Window w : stack) {
        const bool mine = std::find(own.begin(), own.end(), w) != own.end();
        if (std::find(lockTops.begin(), lockTops.end(), w) != lockTops.end())
            aboveLock = true;
        else if (aboveLock && !mine && viewable(m_dpy, w))
            intruder = true;
    }
    if (!intruder)
        return;
    // Raised through the window manager (a request on the client window), the lock windows
    // first, then the client's other windows in their order, so a dialog stays above.
    for (unsigned long w : lock)
        XRaiseWindow(m_dpy, w);
    if (m_opt.ownWindows)
        for (Window t : stack)
            for (unsigned long w : m_opt.ownWindows())
                if (std::find(lock.begin(), lock.end(), w) == lock.end() &&
                    topLevelOf(m_dpy, w) == t && viewable(m_dpy, w))
                    XRaiseWindow(m_dpy, w);
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = lock.front();
    e.xclient.message_type = XInternAtom(m_dpy, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // a pager's request: honoured without focus-stealing rules
    XSendEvent(m_dpy, DefaultRootWindow(m_dpy), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

unsigned long X11LockLibrary::pointerTarget(int rootX, int rootY, int* x, int* y) {
    const Window root = DefaultRootWindow(m_dpy);
    const std::vector<unsigned long> own =
        m_opt.ownWindows ? m_opt.ownWindows() : std::vector<unsigned long>{};
    Window w = root, child = 0;
    int wx = 0, wy = 0;
    // Down the tree under the pointer until one of the client's windows.
    for (int depth = 0; depth < 16; ++depth) {
        if (!XTranslateCoordinates(m_dpy, root, w, rootX, rootY, &wx, &wy, &child))
            return 0;
        if (w != root && std::find(own.begin(), own.end(), w) != own.end()) {
            *x = wx;
            *y = wy;
            return w;
        }
        if (!child)
            return 0;
        w = child;
    }
    return 0;
}

unsigned long X11LockLibrary::keyTarget() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_dpy, &focus, &revert);
    const std::vector<unsigned long> own =
        m_opt.ownWindows ? m_opt.ownWindows() : std::vector<unsigned long>{};
    if (focus > PointerRoot && std::find(own.begin(), own.end(), focus) != own.end())
        return focus;
    // The focus elsewhere (a window that came up on top): the keys still go to the lock.
    const std::vector<unsigned long> lock =
        m_opt.lockWindows ? m_opt.lockWindows() : std::vector<unsigned long>{};
    return lock.empty() ? 0 : lock.front();
}

void X11LockLibrary::forward(XEvent& e) {
    Window target = 0;
    switch (e.type) {
    case KeyPress:
    case KeyRelease:
        target = keyTarget();
        if (!target)
            return;
        e.xkey.window = target;
        e.xkey.subwindow = None;
        break;
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify: {
        // Like the server's implicit grab: from a press until the last release, the window
        // that got the press gets the rest.
        int x = 0, y = 0;
        const int rx = e.xbutton.x_root, ry = e.xbutton.y_root;
        const unsigned buttons =
            Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask;
        if (m_pressTarget && (e.type != ButtonPress)) {
            target = m_pressTarget;
            x = rx - m_pressDx;
            y = ry - m_pressDy;
        } else {
            target = pointerTarget(rx, ry, &x, &y);
        }
        if (e.type == ButtonPress && target) {
            m_pressTarget = target;
            m_pressDx = rx - x;
            m_pressDy = ry - y;
        }
        if (e.type == ButtonRelease) {
            const unsigned stillDown =
                (e.xbutton.state & buttons) & ~(Button1Mask << (e.xbutton.button - 1));
            if (!stillDown)
                m_pressTarget = 0;
        }
        if (!target)
            return;
        if (e.type == MotionNotify) {
            e.xmotion.window = target;
            e.xmotion.subwindow = None;
            e.xmotion.x = x;
            e.xmotion.y = y;
        } else {
            e.xbutton.window = target;
            e.xbutton.subwindow = None;
            e.xbutton.x = x;
            e.xbutton.y = y;
        }
        break;
    }
    default:
        return;
    }
    // No mask: the event goes to the client that created the window.
    XSendEvent(m_dpy, target, False, NoEventMask, &e);
}

void X11LockLibrary::pump() {
    if (!m_dpy || m_pumping)
        return;
    m_pumping = true;
    // Replies read while handling events can queue more: go on until the queue is empty (the
    // fd watch only hears of what is still in the socket).
    do {
        pumpOnce();
    } while (XQLength(m_dpy) > 0);
    m_pumping = false;
}

void X11LockLibrary::pumpOnce() {
    bool keymapChanged = false, stackChanged = false, grabNotice = false;
    {
        QuietErrors quiet(m_dpy);
        while (XPending(m_dpy)) {
            XEvent e;
            XNextEvent(m_dpy, &e);
            switch (e.type) {
            case KeyPress:
            case KeyRelease:
            case ButtonPress:
            case ButtonRelease:
                if (m_wantGrab)
                    forward(e);
                break;
            case MotionNotify:
                // Only the latest position matters.
                while (XCheckTypedEvent(m_dpy, MotionNotify, &e)) {
                }
                if (m_wantGrab)
                    forward(e);
                break;
            case MapNotify:
            case ConfigureNotify:
            case CreateNotify:
                stackChanged = true;
                break;
            case FocusIn:
            case FocusOut:
                grabNotice = grabNotice || e.xfocus.mode == NotifyUngrab;
                break;
            case GenericEvent:
                if (XGetEventData(m_dpy, &e.xcookie)) {
                    keymapChanged = keymapChanged || e.xcookie.evtype == XI_HierarchyChanged;
                    XFreeEventData(m_dpy, &e.xcookie);
                }
                break;
            default:
                if (m_xkbEvent >= 0 && e.type == m_xkbEvent) {
                    const int kind = reinterpret_cast<XkbEvent&>(e).any.xkb_type;
                    keymapChanged =
                        keymapChanged || kind == XkbNewKeyboardNotify || kind == XkbMapNotify;
                }
                break;
            }
        }
        if (keymapChanged && m_actionsOff && removeSwitchActions().value_or(false))
            saveState();
        if (stackChanged && m_wantGrab) {
            applyLockHints();
            if (!m_raise->enabled())
                m_raise->start(50);
        }
        if (grabNotice && m_wantGrab)
            m_grabbed = takeGrabs();
    }
}

std::optional<bool> X11LockLibrary::editKeyActions(
    const std::function<bool(unsigned keycode, int index, XkbAction& action)>& edit) {
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
    if (!xkb)
        return std::nullopt;
    if (!xkb->server || !xkb->server->key_acts) {
        XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
        return std::nullopt;
    }
    unsigned first = xkb->max_key_code + 1u, last = 0;
    for (unsigned k = xkb->min_key_code; k <= xkb->max_key_code; ++k) {
        if (!XkbKeyHasActions(xkb, k))
            continue;
        XkbAction* acts = XkbKeyActionsPtr(xkb, k);
        for (int i = 0; i < XkbKeyNumActions(xkb, k); ++i)
            if (edit(k, i, acts[i])) {
                first = std::min(first, k);
                last = std::max(last, k);
            }
    }
    bool changed = false;
    if (first <= last) {
        XkbMapChangesRec changes{};
        changes.changed = XkbKeyActionsMask;
        changes.first_key_act = static_cast<unsigned char>(first);
        changes.num_key_acts = static_cast<unsigned char>(last - first + 1);
        changed = XkbChangeMap(m_dpy, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
    return changed;
}

std::optional<bool> X11LockLibrary::removeSwitchActions() {
    return editKeyActions([this](unsigned k, int i, XkbAction& action) {
        if (!isEscapeAction(action))
            return false;
        SavedAction s;
        s.keycode = k;
        s.index = i;
        static_assert(sizeof s.bytes == sizeof(XkbAction));
        std::memcpy(s.bytes, &action, sizeof s.bytes);
        // The newest keymap's action wins over one recorded before.
        auto same =
            std::find_if(m_savedActions.begin(), m_savedActions.end(),
                         [&](const SavedAction& o) { return o.keycode == k && o.index == i; });
        if (same != m_savedActions.end())
            *same = s;
        else
            m_savedActions.push_back(s);
        std::memset(&action, 0, sizeof action);
        action.type = XkbSA_NoAction;
        return true;
    });
}

bool X11LockLibrary::restoreSwitchActions() {
    const auto r = editKeyActions([this](unsigned k, int i, XkbAction& action) {
        // Only put back what we took away: a keymap changed meanwhile keeps its own.
        if (action.type != XkbSA_NoAction)
            return false;
        for (const auto& s : m_savedActions) {
            if (s.keycode != k || s.index != i)
                continue;
            XkbAction a;
            std::memcpy(&a, s.bytes, sizeof a);
            if (!isEscapeAction(a))
                return false;
            action = a;
            return true;
        }
        return false;
    });
    return r.has_value();
}

int32_t X11LockLibrary::ctrlAltDel(bool allow) {
    if (!allow) {
        m_actionsOff = true;
        selectRootEvents(true);
        return removeSwitchActions() ? 1 : 0;
    }
    const bool wasOff = m_actionsOff;
    m_actionsOff = false;
    if (!m_wantGrab && wasOff)
        selectRootEvents(false);
    if (m_savedActions.empty())
        return 1;
    const bool ok = restoreSwitchActions();
    m_savedActions.clear();
    return ok ? 1 : 0;
}

// ---- the state file: what a client that ends while locked leaves behind ----

void X11LockLibrary::loadState() {
    if (m_opt.stateFile.empty())
        return;
    std::ifstream in(m_opt.stateFile, std::ios::binary);
    if (!in)
        return;
    std::string text(kStateMaxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kStateMaxBytes)
        return;
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kStateMagic)
        return;
    if (!std::getline(lines, line) || line != std::string("display ") + DisplayString(m_dpy))
        return; // another X server's leftovers: nothing of ours to repair there
    m_stateOurs = true;
    size_t entries = 0, docks = 0, desktops = 0, actions = 0;
    while (std::getline(lines, line) && ++entries <= kStateMaxEntries) {
        std::istringstream f(line);
        std::string kind;
        f >> kind;
        if (kind == "dock" || kind == "desktop") {
            unsigned long w = 0;
            if (!(f >> w) || w == 0)
                continue;
            auto& list = kind == "dock" ? m_hiddenDocks : m_hiddenDesktops;
            if (std::find(list.begin(), list.end(), w) == list.end()) {
                list.push_back(w);
                ++(kind == "dock" ? docks : desktops);
            }
        } else if (kind == "action") {
            unsigned keycode = 0;
            int index = -1;
            std::string hex;
            if (!(f >> keycode >> index >> hex) || keycode < 8 || keycode > 255 || index < 0 ||
                index > 255 || hex.size() != 16 ||
                hex.find_first_not_of("0123456789abcdef") != std::string::npos)
                continue;
            SavedAction s;
            s.keycode = keycode;
            s.index = index;
            for (size_t i = 0; i < sizeof s.bytes; ++i)
                s.bytes[i] =
                    static_cast<unsigned char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
            auto same = std::find_if(
                m_savedActions.begin(), m_savedActions.end(),
                [&](const SavedAction& o) { return o.keycode == s.keycode && o.index == s.index; });
            if (same == m_savedActions.end()) {
                m_savedActions.push_back(s);
                ++actions;
            }
        }
    }
    if (m_opt.log && docks + desktops + actions > 0)
        m_opt.log("X11LockLibrary: an earlier client ended while locked: " + std::to_string(docks) +
                  " dock(s), " + std::to_string(desktops) + " desktop window(s), " +
                  std::to_string(actions) + " key action(s) are put back at the next unlock");
}

void X11LockLibrary::saveState() {
    if (m_opt.stateFile.empty() || !m_dpy)
        return;
    if (m_hiddenDocks.empty() && m_hiddenDesktops.empty() && m_savedActions.empty()) {
        if (m_stateOurs)
            std::remove(m_opt.stateFile.c_str());
        m_stateOurs = false;
        return;
    }
    std::string text = std::string(kStateMagic) + "\ndisplay " + DisplayString(m_dpy) + "\n";
    for (unsigned long w : m_hiddenDocks)
        text += "dock " + std::to_string(w) + "\n";
    for (unsigned long w : m_hiddenDesktops)
        text += "desktop " + std::to_string(w) + "\n";
    for (const auto& s : m_savedActions) {
        char hex[17] = {};
        for (size_t i = 0; i < sizeof s.bytes; ++i)
            std::snprintf(hex + 2 * i, 3, "%02x", s.bytes[i]);
        text += "action " + std::to_string(s.keycode) + " " + std::to_string(s.index) + " " + hex +
                "\n";
    }
    const std::string tmp = m_opt.stateFile + ".new";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush())
            return;
    }
    m_stateOurs = std::rename(tmp.c_str(), m_opt.stateFile.c_str()) == 0;
}

} // namespace tlv
