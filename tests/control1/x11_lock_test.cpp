// The desktop switches against a private Xvfb: never the display the tests run on.
#include "platform/fake/virtual_time.h"
#include "platform/linux/x11_lock_library.h"

#include <gtest/gtest.h>

// Xlib's macros (None, Bool ...) clash with gtest's names: Xlib comes last.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tlv {
namespace {

class PrivateXvfb {
public:
    PrivateXvfb() {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c = 0;
        while (true) {
            const ssize_t n = read(fds[0], &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty())
            m_name = ":" + number;
    }
    ~PrivateXvfb() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& name() const { return m_name; }

private:
    pid_t m_pid = -1;
    std::string m_name;
};

struct X11Lock : ::testing::Test {
    static void SetUpTestSuite() { xvfbShared = new PrivateXvfb; }
    static void TearDownTestSuite() {
        delete xvfbShared;
        xvfbShared = nullptr;
    }
    void SetUp() override {
        const PrivateXvfb& xvfb = *xvfbShared;
        if (xvfb.name().empty())
            GTEST_SKIP() << "Xvfb is not available";
        lib = XOpenDisplay(xvfb.name().c_str());
        other = XOpenDisplay(xvfb.name().c_str());
        ASSERT_TRUE(lib && other);
    }
    void TearDown() override {
        if (other)
            XCloseDisplay(other);
        lock.reset();
        if (lib)
            XCloseDisplay(lib);
    }
    Window typedWindow(const char* type, bool map) {
        Window w = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 50, 50, 0, 0, 0);
        Atom t = XInternAtom(other, type, False);
        XChangeProperty(other, w, XInternAtom(other, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&t), 1);
        if (map)
            XMapWindow(other, w);
        XSync(other, False);
        return w;
    }
    bool mapped(Window w) {
        XWindowAttributes a{};
        XGetWindowAttributes(other, w, &a);
        return a.map_state != IsUnmapped;
    }
    int otherKeyboardGrab() {
        const int r = XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync,
                                    GrabModeAsync, CurrentTime);
        if (r == GrabSuccess) {
            XUngrabKeyboard(other, CurrentTime);
        }
        XSync(other, False);
        return r;
    }
    int vtActions(Display* d) {
        XkbDescPtr xkb = XkbGetMap(d, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
        int n = 0;
        for (unsigned k = xkb->min_key_code; k <= xkb->max_key_code; ++k) {
            if (!XkbKeyHasActions(xkb, k))
                continue;
            XkbAction* a = XkbKeyActionsPtr(xkb, k);
            for (int i = 0; i < XkbKeyNumActions(xkb, k); ++i)
                n += a[i].type == XkbSA_SwitchScreen || a[i].type == XkbSA_Terminate;
        }
        XkbFreeKeyboard(xkb, XkbAllComponentsMask, True);
        return n;
    }
    void make() {
        lock = std::make_unique<X11LockLibrary>(sched, X11LockLibrary::Options{lib, {}, {}, 250});
    }

    static inline PrivateXvfb* xvfbShared = nullptr;
    Display* lib = nullptr;
    Display* other = nullptr;
    VirtualClock clock;
    VirtualScheduler sched{clock};
    std::unique_ptr<X11LockLibrary> lock;
};

TEST_F(X11Lock, DocksAndDesktopsAreHiddenAndExactlyThoseComeBack) {
    const Window dock = typedWindow("_NET_WM_WINDOW_TYPE_DOCK", true);
    const Window desk = typedWindow("_NET_WM_WINDOW_TYPE_DESKTOP", true);
    const Window hiddenDock = typedWindow("_NET_WM_WINDOW_TYPE_DOCK", false);
    const Window normal = typedWindow("_NET_WM_WINDOW_TYPE_NORMAL", true);
    make();
    // Locking twice (Active, then Blocked), then unlocking once.
    for (int i = 0; i < 2; ++i) {
        lock->call(ShellSwitch::Desktop, 0);
        lock->call(ShellSwitch::Taskbar, 0);
    }
    EXPECT_FALSE(mapped(dock));
    EXPECT_FALSE(mapped(desk));
    EXPECT_TRUE(mapped(normal));
    lock->call(ShellSwitch::Desktop, -1);
    lock->call(ShellSwitch::Taskbar, -1);
    EXPECT_TRUE(mapped(dock));
    EXPECT_TRUE(mapped(desk));
    EXPECT_FALSE(mapped(hiddenDock));
}

TEST_F(X11Lock, TaskSwitchingOffHoldsTheGrabAndRetriesWhileAnotherClientHoldsOne) {
    make();
    lock->call(ShellSwitch::TaskSwitching, 0);
    EXPECT_TRUE(lock->grabHeld());
    EXPECT_EQ(otherKeyboardGrab(), AlreadyGrabbed);
    lock->call(ShellSwitch::TaskSwitching, -1);
    EXPECT_FALSE(lock->grabHeld());
    EXPECT_EQ(otherKeyboardGrab(), GrabSuccess);

    // Another program holds the keyboard first: the lock takes it as soon as it is free.
    ASSERT_EQ(XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync,
                            CurrentTime),
              GrabSuccess);
    XSync(other, False);
    lock->call(ShellSwitch::TaskSwitching, 0);
    EXPECT_FALSE(lock->grabHeld());
    sched.advance(1000);
    EXPECT_FALSE(lock->grabHeld());
    XUngrabKeyboard(other, CurrentTime);
    XSync(other, False);
    sched.advance(300);
    EXPECT_TRUE(lock->grabHeld());
    lock->call(ShellSwitch::TaskSwitching, -1);
}

TEST_F(X11Lock, VirtualTerminalAndServerKillActionsAreDisabledAndRestored) {
    const int before = vtActions(other);
    if (before == 0)
        GTEST_SKIP() << "this X server's keymap has no VT switch or terminate actions";
    make();
    lock->call(ShellSwitch::CtrlAltDel, 0);
    lock->call(ShellSwitch::CtrlAltDel, 0);
    EXPECT_EQ(vtActions(other), 0);
    lock->call(ShellSwitch::CtrlAltDel, -1);
    EXPECT_EQ(vtActions(other), before);
}

TEST(X11LockNoDisplay, WithoutADisplayTheSwitchesSayOnceThatTheyCannotActAndReturnFalse) {
    const char* saved = getenv("DISPLAY");
    const std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    VirtualClock clock;
    VirtualScheduler sched{clock};
    int told = 0;
    X11LockLibrary lib(sched,
                       X11LockLibrary::Options{nullptr, {}, [&](const std::string&) { ++told; }});
    for (auto s : {ShellSwitch::TaskSwitching, ShellSwitch::CtrlAltDel, ShellSwitch::Desktop,
                   ShellSwitch::Taskbar})
        EXPECT_EQ(lib.call(s, 0), std::optional<int32_t>(0));
    EXPECT_EQ(told, 1);
    if (saved)
        setenv("DISPLAY", keep.c_str(), 1);
}

} // namespace
} // namespace tlv
