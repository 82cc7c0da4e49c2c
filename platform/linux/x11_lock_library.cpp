#include "platform/linux/x11_lock_library.h"

#include "platform/scheduler.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tlv {

struct X11LockLibrary::SavedAction {
    unsigned keycode;
    int index;
    XkbAction action;
};

namespace {

int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// Windows below the root that may carry the EWMH type: the managed clients and the root's
// own children (docks and desktops are often not reparented).
std::vector<Window> candidateWindows(Display* d) {
    std::vector<Window> r;
    const Window root = DefaultRootWindow(d);
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom clientList = XInternAtom(d, "_NET_CLIENT_LIST", False);
    if (XGetWindowProperty(d, root, clientList, 0, 1 << 16, False, XA_WINDOW, &type, &format, &n,
                           &after, &data) == Success &&
        data) {
        if (format == 32)
            for (unsigned long i = 0; i < n; ++i)
                r.push_back(reinterpret_cast<unsigned long*>(data)[i]);
        XFree(data);
    }
    Window rootRet = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(d, root, &rootRet, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i)
            r.push_back(children[i]);
        if (children)
            XFree(children);
    }
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

// Under Wayland an X11 grab or unmap reaches only other X11 clients: the desktop stays open.
bool isWaylandSession() {
    const char* t = std::getenv("XDG_SESSION_TYPE");
    return t && std::strcmp(t, "wayland") == 0;
}

} // namespace

X11LockLibrary::X11LockLibrary(Scheduler& scheduler, Options options)
    : m_scheduler(scheduler), m_opt(std::move(options)) {
    m_dpy = m_opt.display;
}

X11LockLibrary::~X11LockLibrary() {
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
    if (!m_dpy && !m_toldCannotAct) {
        m_toldCannotAct = true;
        if (m_opt.cannotAct)
            m_opt.cannotAct(isWaylandSession()
                                ? "X11LockLibrary: a Wayland session: the desktop cannot be locked"
                                : "X11LockLibrary: no X display: the desktop cannot be locked");
    }
    return m_dpy != nullptr;
}

size_t X11LockLibrary::hiddenWindowCount(ShellSwitch which) const {
    return which == ShellSwitch::Taskbar ? m_hiddenDocks.size() : m_hiddenDesktops.size();
}

std::optional<int32_t> X11LockLibrary::call(ShellSwitch which, int32_t arg) {
    if (!ready())
        return 0;
    auto* old = XSetErrorHandler(ignoreErrors);
    int32_t r = 0;
    const bool on = arg != 0;
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
    XSync(m_dpy, False);
    XSetErrorHandler(old);
    return r;
}

int32_t X11LockLibrary::showHide(const char* typeAtom, std::vector<unsigned long>& hidden,
                                 bool show) {
    if (show) {
        for (Window w : hidden)
            XMapWindow(m_dpy, w);
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

bool X11LockLibrary::tryGrab() {
    Window w = m_opt.grabWindow ? m_opt.grabWindow() : 0;
    if (!w)
        w = DefaultRootWindow(m_dpy);
    const int k = XGrabKeyboard(m_dpy, w, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (k != GrabSuccess)
        return false;
    const int p =
        XGrabPointer(m_dpy, w, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                     GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    if (p != GrabSuccess) {
        XUngrabKeyboard(m_dpy, CurrentTime);
        return false;
    }
    return true;
}

int32_t X11LockLibrary::taskSwitching(bool allow) {
    if (allow) {
        m_wantGrab = false;
        if (m_grabRetry)
            m_grabRetry->stop();
        if (m_grabbed) {
            XUngrabPointer(m_dpy, CurrentTime);
            XUngrabKeyboard(m_dpy, CurrentTime);
            m_grabbed = false;
        }
        return 1;
    }
    m_wantGrab = true;
    if (m_grabbed)
        return 1;
    m_grabbed = tryGrab();
    if (!m_grabbed) {
        // Another program holds a grab (an open menu, a screen saver): keep trying.
        if (!m_grabRetry)
            m_grabRetry = m_scheduler.createTimer([this] {
                if (!m_wantGrab || m_grabbed) {
                    m_grabRetry->stop();
                    return;
                }
                m_grabbed = tryGrab();
                XSync(m_dpy, False);
                if (m_grabbed)
                    m_grabRetry->stop();
            });
        m_grabRetry->start(m_opt.grabRetryMs);
    }
    return 1;
}

int32_t X11LockLibrary::ctrlAltDel(bool allow) {
    XkbDescPtr xkb = XkbGetMap(m_dpy, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
    if (!xkb || !xkb->server || !xkb->server->key_acts)
        return 0;
    XkbMapChangesRec changes{};
    changes.changed = XkbKeyActionsMask;
    unsigned first = xkb->max_key_code + 1, last = 0;
    if (!allow) {
        for (unsigned k = xkb->min_key_code; k <= xkb->max_key_code; ++k) {
            if (!XkbKeyHasActions(xkb, k))
                continue;
            XkbAction* acts = XkbKeyActionsPtr(xkb, k);
            for (int i = 0; i < XkbKeyNumActions(xkb, k); ++i) {
                const int type = acts[i].type;
                if (type != XkbSA_SwitchScreen && type != XkbSA_Terminate)
                    continue;
                m_savedActions.push_back({k, i, acts[i]});
                std::memset(&acts[i], 0, sizeof acts[i]);
                acts[i].type = XkbSA_NoAction;
                first = std::min(first, k);
                last = std::max(last, k);
            }
        }
    } else {
        for (const auto& s : m_savedActions) {
            if (s.keycode < xkb->min_key_code || s.keycode > xkb->max_key_code ||
                !XkbKeyHasActions(xkb, s.keycode) || s.index >= XkbKeyNumActions(xkb, s.keycode))
                continue;
            XkbAction* acts = XkbKeyActionsPtr(xkb, s.keycode);
            // Only put back what we took away: a keymap changed meanwhile keeps its own.
            if (acts[s.index].type != XkbSA_NoAction)
                continue;
            acts[s.index] = s.action;
            first = std::min(first, s.keycode);
            last = std::max(last, s.keycode);
        }
        m_savedActions.clear();
    }
    bool ok = true;
    if (first <= last) {
        changes.first_key_act = static_cast<unsigned char>(first);
        changes.num_key_acts = static_cast<unsigned char>(last - first + 1);
        ok = XkbChangeMap(m_dpy, xkb, &changes);
    }
    XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
    return ok ? 1 : 0;
}

} // namespace tlv
