// A tiny X11 application for the process-manager tests.
// x_test_window <title> <close|ignore> [wm-class] [normal|utility|skip-taskbar|owned|owned-app]
//   close:  exits when asked to close its window (WM_DELETE_WINDOW)
//   ignore: keeps its window whatever it is asked
//   the last argument shapes the window as the window filters see it
//   X_TEST_WM_PID=none leaves _NET_WM_PID out, X_TEST_WM_PID=<n> states another process
//   (as a program in a PID namespace of its own does)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const bool closes = std::strcmp(argv[2], "close") == 0;
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return 3;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 200, 100, 0, 0, 0);
    XStoreName(d, w, argv[1]);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(argv[1]),
                    static_cast<int>(std::strlen(argv[1])));
    XClassHint hint;
    hint.res_name = const_cast<char*>(argc > 3 ? argv[3] : "xtestwindow");
    hint.res_class = const_cast<char*>(argc > 3 ? argv[3] : "XTestWindow");
    XSetClassHint(d, w, &hint);
    const char* statedPid = std::getenv("X_TEST_WM_PID");
    if (!statedPid || std::strcmp(statedPid, "none") != 0) {
        const long pid = statedPid ? std::atol(statedPid) : static_cast<long>(getpid());
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    }
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &del, 1);
    const char* kind = argc > 4 ? argv[4] : "normal";
    auto atom = [d](const char* n) { return XInternAtom(d, n, False); };
    auto setAtom = [&](const char* prop, const char* value) {
        const Atom a = atom(value);
        XChangeProperty(d, w, atom(prop), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&a), 1);
    };
    if (std::strcmp(kind, "utility") == 0)
        setAtom("_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_UTILITY");
    if (std::strcmp(kind, "skip-taskbar") == 0)
        setAtom("_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR");
    if (std::strncmp(kind, "owned", 5) == 0) {
        const Window owner = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
        XSetTransientForHint(d, w, owner);
        setAtom("_NET_WM_WINDOW_TYPE", std::strcmp(kind, "owned-app") == 0
                                           ? "_NET_WM_WINDOW_TYPE_NORMAL"
                                           : "_NET_WM_WINDOW_TYPE_DIALOG");
    }
    XMapWindow(d, w);
    XFlush(d);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == ClientMessage && static_cast<Atom>(ev.xclient.data.l[0]) == del && closes) {
            XDestroyWindow(d, w);
            XCloseDisplay(d);
            return 0;
        }
    }
}
