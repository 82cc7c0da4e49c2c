// The desktop switches against a private Xvfb: never the display the tests run on.
#include "platform/fake/virtual_time.h"
#include "platform/linux/x11_lock_library.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

// Xlib's macros (None, Bool ...) clash with gtest's names: Xlib comes last.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "tests/support/x11_probe.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
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
        // A busy machine's server can refuse a connection for a moment: tried again.
        const auto open = [&] {
            Display* d = nullptr;
            for (int i = 0; i < 50 && !d; ++i)
                if (!(d = XOpenDisplay(xvfb.name().c_str())))
                    usleep(100 * 1000);
            return d;
        };
        lib = open();
        other = open();
        toolkit = open();
        ASSERT_TRUE(lib && other && toolkit);
    }
    void TearDown() override {
        lock.reset();
        for (Display* d : {other, toolkit, lib})
            if (d)
                XCloseDisplay(d);
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
    int vtActions(Display* d) { return test::escapeActionCount(d); }
    X11LockLibrary::Options options(const std::string& stateFile = {}) {
        X11LockLibrary::Options o;
        o.display = lib;
        o.lockWindows = [this] { return lockWindows; };
        o.ownWindows = [this] { return lockWindows; };
        o.stateFile = stateFile;
        o.checkMs = 250;
        return o;
    }
    void make(const std::string& stateFile = {}) {
        lock = std::make_unique<X11LockLibrary>(sched, options(stateFile));
    }
    // The lock screen, made by the toolkit's connection (not the library's).
    Window lockScreen() {
        Window w =
            XCreateSimpleWindow(toolkit, DefaultRootWindow(toolkit), 0, 0, 300, 200, 0, 0, 0);
        XMapWindow(toolkit, w);
        XSync(toolkit, False);
        lockWindows = {w};
        return w;
    }
    // Lets the library read what the server sent it until pred holds (at most about 2 s).
    bool pumpUntil(const std::function<bool()>& pred, int rounds = 200) {
        for (int i = 0; i < rounds; ++i) {
            XSync(other, False);
            XSync(toolkit, False);
            lock->pump();
            if (pred())
                return true;
            usleep(10000);
        }
        return false;
    }
    bool nextEvent(Display* d, int type, XEvent* e) {
        XSync(d, False);
        return XCheckTypedEvent(d, type, e);
    }
    int otherPointerGrab() {
        const int r = XGrabPointer(other, DefaultRootWindow(other), False, ButtonPressMask,
                                   GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (r == GrabSuccess)
            XUngrabPointer(other, CurrentTime);
        XSync(other, False);
        return r;
    }
    std::vector<Window> stack() {
        Window r = 0, p = 0;
        Window* c = nullptr;
        unsigned n = 0;
        std::vector<Window> out;
        if (XQueryTree(other, DefaultRootWindow(other), &r, &p, &c, &n)) {
            out.assign(c, c + n);
            XFree(c);
        }
        return out;
    }

    static inline PrivateXvfb* xvfbShared = nullptr;
    Display* lib = nullptr;
    Display* other = nullptr;
    Display* toolkit = nullptr;
    std::vector<unsigned long> lockWindows;
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

TEST_F(X11Lock, WhileTaskSwitchingIsOffAltTabReachesOnlyTheLockScreen) {
    // Another program's focused window listens for keys.
    Window victim = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 80, 80, 0, 0, 0);
    XSelectInput(other, victim, KeyPressMask | KeyReleaseMask);
    XMapWindow(other, victim);
    XSync(other, False);
    XSetInputFocus(other, victim, RevertToParent, CurrentTime);
    XSync(other, False);
    const auto altTab = [&] {
        const KeyCode alt = XKeysymToKeycode(other, XK_Alt_L),
                      tab = XKeysymToKeycode(other, XK_Tab);
        for (auto [code, down] : {std::pair{alt, True}, std::pair{tab, True}, std::pair{tab, False},
                                  std::pair{alt, False}})
            XTestFakeKeyEvent(other, code, down, CurrentTime);
        XSync(other, False);
        XSync(lib, False);
    };
    const auto keysSeen = [](Display* d) {
        int n = 0;
        XEvent e;
        while (XCheckMaskEvent(d, KeyPressMask | KeyReleaseMask, &e))
            ++n;
        return n;
    };
    int xtestEvent = 0, xtestError = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(other, &xtestEvent, &xtestError, &major, &minor))
        GTEST_SKIP() << "no XTest on this X server";
    altTab();
    EXPECT_EQ(keysSeen(other), 4) << "without the lock the focused window gets the keys";

    make();
    lock->call(ShellSwitch::TaskSwitching, 0);
    ASSERT_TRUE(lock->grabHeld());
    altTab();
    EXPECT_EQ(keysSeen(other), 0);
    EXPECT_EQ(keysSeen(lib), 4) << "the lock screen's connection receives them";
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

TEST_F(X11Lock, AToolkitPopupGrabbingAndReleasingLeavesBothGrabsWithTheLock) {
    const Window w = lockScreen();
    make();
    lock->call(ShellSwitch::TaskSwitching, 0);
    ASSERT_TRUE(lock->grabHeld());
    // What a popup does on the toolkit's connection when it opens and closes.
    EXPECT_EQ(XGrabKeyboard(toolkit, w, True, GrabModeAsync, GrabModeAsync, CurrentTime),
              AlreadyGrabbed);
    EXPECT_EQ(XGrabPointer(toolkit, w, True, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                           None, CurrentTime),
              AlreadyGrabbed);
    XUngrabKeyboard(toolkit, CurrentTime);
    XUngrabPointer(toolkit, CurrentTime);
    XSync(toolkit, False);
    sched.advance(500);
    EXPECT_EQ(otherKeyboardGrab(), AlreadyGrabbed);
    EXPECT_EQ(otherPointerGrab(), AlreadyGrabbed);
    lock->call(ShellSwitch::TaskSwitching, -1);
    EXPECT_EQ(otherKeyboardGrab(), GrabSuccess);
    EXPECT_EQ(otherPointerGrab(), GrabSuccess);
}

TEST_F(X11Lock, GrabbedKeysAndClicksReachTheClientsOwnWindowsOnly) {
    int xtestEvent = 0, xtestError = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(other, &xtestEvent, &xtestError, &major, &minor))
        GTEST_SKIP() << "no XTest on this X server";
    const Window w = lockScreen();
    // Another program's window beside the lock screen, listening for everything.
    Window victim = XCreateSimpleWindow(other, DefaultRootWindow(other), 400, 0, 100, 100, 0, 0, 0);
    XSelectInput(other, victim, KeyPressMask | ButtonPressMask);
    XMapWindow(other, victim);
    XSync(other, False);
    make();
    lock->call(ShellSwitch::TaskSwitching, 0);
    ASSERT_TRUE(lock->grabHeld());

    const KeyCode a = XKeysymToKeycode(other, XK_a);
    XTestFakeKeyEvent(other, a, True, CurrentTime);
    XTestFakeKeyEvent(other, a, False, CurrentTime);
    XEvent e{};
    ASSERT_TRUE(pumpUntil([&] { return nextEvent(toolkit, KeyPress, &e); }));
    EXPECT_EQ(e.xkey.window, w);
    EXPECT_EQ(e.xkey.keycode, a);
    EXPECT_TRUE(e.xkey.send_event) << "forwarded by the library";

    XTestFakeMotionEvent(other, 0, 120, 70, CurrentTime);
    XTestFakeButtonEvent(other, 1, True, CurrentTime);
    XTestFakeButtonEvent(other, 1, False, CurrentTime);
    ASSERT_TRUE(pumpUntil([&] { return nextEvent(toolkit, ButtonPress, &e); }));
    EXPECT_EQ(e.xbutton.window, w);
    EXPECT_EQ(e.xbutton.x, 120);
    EXPECT_EQ(e.xbutton.y, 70);
    ASSERT_TRUE(pumpUntil([&] { return nextEvent(toolkit, ButtonRelease, &e); }));

    // A click on the other program's window goes nowhere.
    XTestFakeMotionEvent(other, 0, 450, 50, CurrentTime);
    XTestFakeButtonEvent(other, 1, True, CurrentTime);
    XTestFakeButtonEvent(other, 1, False, CurrentTime);
    pumpUntil([] { return false; }, 30);
    EXPECT_FALSE(nextEvent(toolkit, ButtonPress, &e));
    EXPECT_FALSE(nextEvent(other, ButtonPress, &e));
    EXPECT_FALSE(nextEvent(other, KeyPress, &e));
    lock->call(ShellSwitch::TaskSwitching, -1);
}

TEST_F(X11Lock, TheLockWindowIsOnEveryDesktopAndRaisedOverAWindowMappedOnTop) {
    const Window w = lockScreen();
    make();
    lock->call(ShellSwitch::TaskSwitching, 0);
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(other, w, XInternAtom(other, "_NET_WM_DESKTOP", False), 0, 1,
                                 False, XA_CARDINAL, &type, &format, &n, &after, &data),
              Success);
    ASSERT_TRUE(data && n == 1);
    // Xlib hands 32-bit items over as longs, sign-extended.
    EXPECT_EQ(*reinterpret_cast<unsigned long*>(data) & 0xFFFFFFFFul, 0xFFFFFFFFul);
    XFree(data);

    const Window intruder = typedWindow("_NET_WM_WINDOW_TYPE_NORMAL", true);
    ASSERT_EQ(stack().back(), intruder);
    EXPECT_TRUE(pumpUntil([&] {
        sched.advance(60);
        return stack().back() == w;
    }));
    lock->call(ShellSwitch::TaskSwitching, -1);
}

TEST_F(X11Lock, AKeymapLoadedWhileLockedLosesItsSwitchActionsAgainAndGetsThemBack) {
    const int before = vtActions(other);
    if (before == 0)
        GTEST_SKIP() << "this X server's keymap has no VT switch or terminate actions";
    if (std::system("command -v setxkbmap >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no setxkbmap";
    make();
    lock->call(ShellSwitch::CtrlAltDel, 0);
    ASSERT_EQ(vtActions(other), 0);
    const std::string reload =
        "setxkbmap -display " + xvfbShared->name() + " -layout us >/dev/null 2>&1";
    ASSERT_EQ(std::system(reload.c_str()), 0);
    EXPECT_TRUE(pumpUntil([&] { return vtActions(other) == 0; }));
    lock->call(ShellSwitch::CtrlAltDel, -1);
    EXPECT_EQ(vtActions(other), before);
}

TEST_F(X11Lock, AClientThatDiedLockedIsRepairedByTheNextOneAtItsUnlock) {
    const int before = vtActions(other);
    test::TempRoot dir;
    const std::string state = dir.file("lockdown.state");
    const Window dock = typedWindow("_NET_WM_WINDOW_TYPE_DOCK", true);
    const std::string name = xvfbShared->name();
    const pid_t child = fork();
    if (child == 0) {
        // Dies locked: no destructor runs.
        Display* d = XOpenDisplay(name.c_str());
        VirtualClock c;
        VirtualScheduler s{c};
        X11LockLibrary::Options o;
        o.display = d;
        o.stateFile = state;
        auto* dying = new X11LockLibrary(s, o);
        dying->call(ShellSwitch::Taskbar, 0);
        dying->call(ShellSwitch::CtrlAltDel, 0);
        _exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_FALSE(mapped(dock));
    ASSERT_TRUE(std::filesystem::exists(state));
    EXPECT_EQ(vtActions(other), 0);

    // The next client starts locked, then unlocks.
    make(state);
    lock->call(ShellSwitch::CtrlAltDel, 0);
    lock->call(ShellSwitch::Taskbar, 0);
    lock->call(ShellSwitch::CtrlAltDel, -1);
    lock->call(ShellSwitch::Taskbar, -1);
    EXPECT_TRUE(mapped(dock));
    EXPECT_EQ(vtActions(other), before);
    EXPECT_FALSE(std::filesystem::exists(state));
}

TEST_F(X11Lock, ANormalEndWhileLockedPutsEverythingBack) {
    const int before = vtActions(other);
    test::TempRoot dir;
    const std::string state = dir.file("lockdown.state");
    const Window dock = typedWindow("_NET_WM_WINDOW_TYPE_DOCK", true);
    make(state);
    for (auto s : {ShellSwitch::TaskSwitching, ShellSwitch::CtrlAltDel, ShellSwitch::Desktop,
                   ShellSwitch::Taskbar})
        lock->call(s, 0);
    EXPECT_FALSE(mapped(dock));
    lock.reset();
    EXPECT_TRUE(mapped(dock));
    EXPECT_EQ(vtActions(other), before);
    EXPECT_EQ(otherKeyboardGrab(), GrabSuccess);
    EXPECT_FALSE(std::filesystem::exists(state));
}

TEST_F(X11Lock, AStateFileMapsNothingButUnmappedDocksOfThisDisplay) {
    test::TempRoot dir;
    const std::string state = dir.file("lockdown.state");
    const Window normal = typedWindow("_NET_WM_WINDOW_TYPE_NORMAL", false);
    const Window dock = typedWindow("_NET_WM_WINDOW_TYPE_DOCK", false);
    const std::string head = "tlvcli-lockdown 1\ndisplay " + xvfbShared->name() + "\n";
    const std::string n = std::to_string(normal), k = std::to_string(dock);
    const struct {
        std::string text;
        bool dockBack;
    } cases[] = {
        {head + "dock " + n + "\ndesktop " + n + "\n", false},
        {"tlvcli-lockdown 1\ndisplay :9999\ndock " + k + "\n", false},
        {"garbage\ndock " + k + "\n", false},
        {head + std::string(70 * 1024, 'x') + "\ndock " + k + "\n", false},
        {head + "action 300 0 zz\naction 9 -1 0011\ndock -5\ndock " + k + "\n", true},
    };
    for (const auto& c : cases) {
        XUnmapWindow(other, dock);
        XSync(other, False);
        test::writeFile(state, c.text);
        make(state);
        lock->call(ShellSwitch::Taskbar, -1);
        EXPECT_FALSE(mapped(normal)) << c.text.substr(0, 80);
        EXPECT_EQ(mapped(dock), c.dockBack) << c.text.substr(0, 80);
        lock.reset();
    }
}

TEST(X11LockNoDisplay, WithoutADisplayTheSwitchesSayOnceThatTheyCannotActAndReturnFalse) {
    const char* saved = getenv("DISPLAY");
    const std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    VirtualClock clock;
    VirtualScheduler sched{clock};
    int told = 0;
    X11LockLibrary::Options o;
    o.cannotAct = [&](const std::string&) { ++told; };
    X11LockLibrary lib(sched, o);
    for (auto s : {ShellSwitch::TaskSwitching, ShellSwitch::CtrlAltDel, ShellSwitch::Desktop,
                   ShellSwitch::Taskbar})
        EXPECT_EQ(lib.call(s, 0), std::optional<int32_t>(0));
    EXPECT_EQ(told, 1);
    if (saved)
        setenv("DISPLAY", keep.c_str(), 1);
}

} // namespace
} // namespace tlv
