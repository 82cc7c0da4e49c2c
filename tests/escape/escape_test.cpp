// The lock screen played by a customer who wants out: the real client with the real X11
// lockdown on a private desktop (every other action on the PC still only recorded), xdotool
// at the keyboard and the mouse, another program's X connection as the tempting rest of the
// desktop, and tlvsim as the server.
#include "tests/support/child_process.h"
#include "tests/support/desktop.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

// Xlib's macros (None, Bool ...) clash with gtest's names: Xlib comes last.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBstr.h>
#include <X11/keysym.h>

#include "tests/support/x11_probe.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tlv {
namespace {

using test::Desktop;
using test::waitUntil;

// Another program on the desktop: a panel, a shortcut daemon, windows of its own.
class OtherProgram {
public:
    explicit OtherProgram(const std::string& display) : m_d(XOpenDisplay(display.c_str())) {}
    ~OtherProgram() {
        if (m_d)
            XCloseDisplay(m_d);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;
    Display* d() const { return m_d; }

    Window window(const char* type, int x, int y, int w, int h) {
        Window win = XCreateSimpleWindow(m_d, DefaultRootWindow(m_d), x, y, w, h, 0, 0, 0xffffff);
        const Atom t = XInternAtom(m_d, type, False);
        XChangeProperty(m_d, win, XInternAtom(m_d, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&t), 1);
        XStoreName(m_d, win, "other-program");
        XSelectInput(m_d, win, KeyPressMask | ButtonPressMask);
        XMapWindow(m_d, win);
        XSync(m_d, False);
        return win;
    }
    // A global shortcut, as a desktop's shortcut daemon registers it.
    void shortcut(KeySym sym, unsigned modifiers) {
        XGrabKey(m_d, XKeysymToKeycode(m_d, sym), modifiers, DefaultRootWindow(m_d), False,
                 GrabModeAsync, GrabModeAsync);
        XSync(m_d, False);
    }
    // Any key or click that reached this program since the last call.
    int inputSeen() {
        XSync(m_d, False);
        int n = 0;
        XEvent e;
        while (XCheckMaskEvent(m_d, KeyPressMask | ButtonPressMask, &e))
            ++n;
        while (XCheckTypedEvent(m_d, KeyPress, &e))
            ++n;
        return n;
    }
    // What a pager's or a taskbar's close button asks of the window manager.
    void askToClose(Window w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(m_d, "_NET_CLOSE_WINDOW", False);
        e.xclient.format = 32;
        e.xclient.data.l[1] = 2;
        XSendEvent(m_d, DefaultRootWindow(m_d), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(m_d, False);
    }
    bool canGrabKeyboard() {
        const int r = XGrabKeyboard(m_d, DefaultRootWindow(m_d), False, GrabModeAsync,
                                    GrabModeAsync, CurrentTime);
        if (r == GrabSuccess)
            XUngrabKeyboard(m_d, CurrentTime);
        XSync(m_d, False);
        return r == GrabSuccess;
    }
    bool canGrabPointer() {
        const int r = XGrabPointer(m_d, DefaultRootWindow(m_d), False, ButtonPressMask,
                                   GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (r == GrabSuccess)
            XUngrabPointer(m_d, CurrentTime);
        XSync(m_d, False);
        return r == GrabSuccess;
    }
    int escapeActions() { return test::escapeActionCount(m_d); }
    long pidOf(Window w) {
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        long pid = 0;
        if (XGetWindowProperty(m_d, w, XInternAtom(m_d, "_NET_WM_PID", False), 0, 1, False,
                               XA_CARDINAL, &type, &format, &n, &after, &data) == Success &&
            data) {
            if (n == 1)
                pid = *reinterpret_cast<long*>(data);
            XFree(data);
        }
        return pid;
    }
    bool mapped(Window w) {
        XWindowAttributes a{};
        return XGetWindowAttributes(m_d, w, &a) && a.map_state != IsUnmapped;
    }

private:
    Display* m_d;
};

struct Escape : ::testing::TestWithParam<const char*> {
    void SetUp() override {
        desktop = std::make_unique<Desktop>(test::DesktopOptions{1024, 768, GetParam()});
        if (!desktop->ready())
            GTEST_SKIP() << GetParam() << " does not run on this X server";
        other = std::make_unique<OtherProgram>(desktop->display());
        ASSERT_TRUE(other->d());
        procs.setDisplay(*desktop);
        procs.addEnv("TLVCLI_REAL_LOCKDOWN=1");
        ASSERT_TRUE(procs.configure());
        test::writeFile(root.file("accounts.txt"), "card 123456 60\n");
        test::writeFile(root.file("follow.txt"), "");
        sim = procs.startSimulator({"--accounts", root.file("accounts.txt"), "--plain", "--follow",
                                    root.file("follow.txt"), "--log", root.file("sim.log")},
                                   root.file("tlvsim.out"));
        actionsBefore = other->escapeActions();
        panel = other->window("_NET_WM_WINDOW_TYPE_DOCK", 0, 0, 1024, 24);
    }
    void TearDown() override {
        if (cli > 0) {
            procs.signal(cli, SIGTERM);
            procs.waitExit(cli, 10);
        }
    }
    void startClient() {
        cli = procs.spawn(TLVCLI_EXE, {}, root.file("tlvcli.out"));
        ASSERT_GT(cli, 0);
        ++started;
        ASSERT_TRUE(waitUntil([&] { return lockWindow() != 0; }, 20000))
            << test::readFile(root.file("tlvcli.out"));
        ASSERT_TRUE(waitUntil([&] { return !other->canGrabKeyboard(); }, 10000));
    }
    // Waits until the server saw as many connections as clients were started.
    bool connected() {
        return waitUntil(
            [&] {
                const std::string log = test::readFile(root.file("sim.log"));
                int n = 0;
                for (size_t at = log.find("\tconnect\t"); at != std::string::npos;
                     at = log.find("\tconnect\t", at + 1))
                    ++n;
                return n >= started;
            },
            20000);
    }
    void server(const std::string& command) {
        std::ofstream(root.file("follow.txt"), std::ios::app) << command << "\n";
    }
    // The client's full-screen window.
    unsigned long lockWindow() const {
        for (unsigned long w : desktop->windows(".*", cli)) {
            const Desktop::Rect r = desktop->geometry(w);
            if (r.x == 0 && r.y == 0 && r.width == 1024 && r.height == 768)
                return w;
        }
        return 0;
    }
    bool clientAlive() {
        int status = 0;
        return cli > 0 && waitpid(cli, &status, WNOHANG) == 0;
    }
    // The window at the top of the stack is the client's (the lock screen, or a popup or
    // dialog of its own).
    bool topIsClients() const { return other->pidOf(desktop->topmost()) == cli; }
    // Everything that makes the lock hold, after a route was tried.
    void expectLocked(const std::string& route) {
        SCOPED_TRACE(route);
        ASSERT_TRUE(clientAlive()) << test::readFile(root.file("tlvcli.out"));
        EXPECT_TRUE(waitUntil([&] { return lockWindow() != 0; }, 3000))
            << "the lock window is not viewable and full screen";
        EXPECT_TRUE(waitUntil([&] { return topIsClients(); }, 3000))
            << "another window is above the lock: " << desktop->windowName(desktop->topmost());
        EXPECT_FALSE(other->canGrabKeyboard());
        EXPECT_FALSE(other->canGrabPointer());
        EXPECT_EQ(other->inputSeen(), 0) << "keys or clicks reached another program";
        // The panel goes a moment after the grabs (the keys are taken first).
        EXPECT_TRUE(waitUntil([&] { return !other->mapped(panel); }, 3000))
            << "the panel is still shown";
        if (actionsBefore >= 0) {
            EXPECT_EQ(other->escapeActions(), 0);
        }
    }
    void settle() { usleep(150 * 1000); }

    // The language list at the top of the lock screen and the card field's context menu,
    // opened and closed as a customer does.
    void openAndClosePopups() {
        const unsigned long lock = lockWindow();
        ASSERT_NE(lock, 0u);
        const auto popupOpen = [&] {
            const unsigned long top = desktop->topmost();
            return top != lock && other->pidOf(top) == cli;
        };
        // At a person's pace: a second click soon after the first counts as a double click.
        const auto pause = [] { usleep(500 * 1000); };
        // The language list: opened by a click, closed by Escape.
        desktop->click(kLanguageX, kLanguageY);
        EXPECT_TRUE(waitUntil(popupOpen, 3000)) << "the language list did not open";
        desktop->key("Escape");
        EXPECT_TRUE(waitUntil([&] { return !popupOpen(); }, 3000));
        // The card field's context menu, by right click and by the menu key.
        pause();
        desktop->click(kCardX, kCardY, 3);
        EXPECT_TRUE(waitUntil(popupOpen, 3000)) << "the context menu did not open";
        desktop->key("Escape");
        EXPECT_TRUE(waitUntil([&] { return !popupOpen(); }, 3000));
        desktop->key("Menu");
        EXPECT_TRUE(waitUntil(popupOpen, 3000)) << "the menu key opened no context menu";
        desktop->key("Escape");
        EXPECT_TRUE(waitUntil([&] { return !popupOpen(); }, 3000));
    }

    void tryEveryRoute(const std::string& round) {
        const auto route = [&](const std::string& name, const std::function<void()>& attempt) {
            attempt();
            settle();
            expectLocked(round + ": " + name);
        };
        route("Alt+Tab", [&] { desktop->key("alt+Tab alt+shift+Tab"); });
        route("Super", [&] { desktop->key("super super+e super+d"); });
        route("Alt+F4", [&] { desktop->key("alt+F4"); });
        route("the window manager's close", [&] {
            other->askToClose(lockWindow());
            usleep(300 * 1000);
        });
        route("a global shortcut of another program", [&] { desktop->key("ctrl+alt+t"); });
        route("switching desktops by key", [&] { desktop->key("ctrl+alt+Right super+2"); });
        route("switching desktops through the window manager", [&] {
            desktop->run({"xdotool", "set_desktop", "1"});
            settle();
            EXPECT_TRUE(waitUntil([&] { return lockWindow() != 0; }, 3000))
                << "the lock window stayed on the first desktop";
            desktop->run({"xdotool", "set_desktop", "0"});
        });
        route("Ctrl+Alt+F1 and Ctrl+Alt+Backspace", [&] {
            EXPECT_EQ(other->escapeActions(), 0);
            desktop->key("ctrl+alt+F1 ctrl+alt+F2 ctrl+alt+BackSpace");
        });
        route("a window mapped on top", [&] {
            const Window w = other->window("_NET_WM_WINDOW_TYPE_NORMAL", 100, 100, 300, 200);
            EXPECT_TRUE(waitUntil([&] { return topIsClients(); }, 3000));
            XDestroyWindow(other->d(), w);
            XSync(other->d(), False);
        });
        route("xkill choosing a window", [&] {
            // It needs the pointer to choose: it cannot have it.
            EXPECT_NE(desktop->run({"xkill"}, nullptr, 3000), 0);
        });
        route("another program's keyboard and pointer grabs", [&] {
            EXPECT_FALSE(other->canGrabKeyboard());
            EXPECT_FALSE(other->canGrabPointer());
        });
        route("setxkbmap", [&] {
            desktop->run({"setxkbmap", "-layout", "us"});
            EXPECT_TRUE(waitUntil([&] { return other->escapeActions() == 0; }, 3000));
        });
    }

    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<OtherProgram> other;
    int sim = -1;
    int cli = -1;
    int started = 0;
    int actionsBefore = -1;
    Window panel = 0;
    // Where the language list and the card-number field are on a 1024x768 lock screen.
    static constexpr int kLanguageX = 890, kLanguageY = 25, kCardX = 511, kCardY = 503;
};

TEST_P(Escape, NoRouteLeavesTheLockScreenBeforeOrAfterItsPopupsASessionLiftsItAll) {
    // Shortcuts another program registered, as a desktop would.
    other->shortcut(XK_t, ControlMask | Mod1Mask);
    other->shortcut(XK_Super_L, AnyModifier);
    other->shortcut(XK_Tab, Mod1Mask);
    startClient();
    expectLocked("at the start");

    tryEveryRoute("first round");
    openAndClosePopups();
    expectLocked("after the popups");
    tryEveryRoute("after the popups");

    // A second screen plugged in while locked is covered too.
    if (desktop->addMonitor(800, 600)) {
        EXPECT_TRUE(waitUntil(
            [&] {
                for (unsigned long w : desktop->windows(".*", cli))
                    if (desktop->geometry(w).x >= 1024)
                        return true;
                return false;
            },
            5000))
            << "nothing covers the new monitor";
    }

    // A customer at the keyboard and the mouse for a while.
    std::mt19937 rng(18);
    const std::vector<std::string> chords = {
        "alt+Tab alt+shift+Tab super alt+F4 ctrl+alt+t ctrl+alt+Right ctrl+alt+Left",
        "ctrl+alt+F1 ctrl+alt+BackSpace ctrl+alt+Delete alt+F2 alt+F7 alt+space super+d",
        "Escape Tab shift+Tab a 1 Menu ctrl+Escape alt+Up Down F1 ctrl+w ctrl+q"};
    std::vector<std::string> chord;
    for (const auto& line : chords) {
        std::istringstream words(line);
        for (std::string w; words >> w;)
            chord.push_back(w);
    }
    // Never the Activate button, Return or space: a session of its own would lift the lock.
    for (int i = 0; i < 200; ++i) {
        if (rng() % 3 == 0) {
            const int x = static_cast<int>(rng() % 1024), y = static_cast<int>(rng() % 768);
            if (x >= 170 && x <= 860 && y >= 530 && y <= 640)
                continue;
            desktop->click(x, y, rng() % 4 == 0 ? 3 : 1);
        } else {
            desktop->key(chord[rng() % chord.size()]);
        }
    }
    desktop->key("Escape Escape");
    expectLocked("after a random walk");

    // A session opened by the server lifts all of it, and the lock brings it back.
    ASSERT_TRUE(connected()) << test::readFile(root.file("tlvsim.out"));
    server("open all 2 123456");
    EXPECT_TRUE(
        waitUntil([&] { return other->canGrabKeyboard() && other->canGrabPointer(); }, 15000))
        << test::readFile(root.file("tlvcli.out"));
    EXPECT_TRUE(waitUntil([&] { return lockWindow() == 0; }, 5000));
    EXPECT_TRUE(other->mapped(panel));
    EXPECT_EQ(other->escapeActions(), actionsBefore);
    desktop->key("ctrl+alt+t");
    EXPECT_GT(other->inputSeen(), 0) << "the shortcut works again in a session";
    server("close all");
    EXPECT_TRUE(waitUntil([&] { return lockWindow() != 0; }, 15000));
    EXPECT_TRUE(waitUntil([&] { return !other->canGrabKeyboard(); }, 5000));
    expectLocked("locked again");
}

TEST_P(Escape, AKilledLockWindowEndsTheClientAndTheNextClientRepairsTheDesktop) {
    startClient();
    expectLocked("at the start");
    // xkill on the lock window ends the client's X connection, and with it the client.
    const unsigned long lock = lockWindow();
    desktop->run({"xkill", "-id", std::to_string(lock)});
    EXPECT_NE(procs.waitExit(cli, 10), -1) << "the client outlived its X connection";
    cli = -1;
    EXPECT_TRUE(std::filesystem::exists(root.file("lockdown.state")));

    // The next client (as the watchdog starts it) reads what the dead one left behind and puts
    // it back when it unlocks (tests/control1) or, as here, when it ends normally.
    startClient();
    expectLocked("the next client");
    procs.signal(cli, SIGTERM);
    EXPECT_EQ(procs.waitExit(cli, 10), 0);
    cli = -1;
    EXPECT_TRUE(other->mapped(panel));
    EXPECT_EQ(other->escapeActions(), actionsBefore);
    EXPECT_TRUE(other->canGrabKeyboard());
    EXPECT_FALSE(std::filesystem::exists(root.file("lockdown.state")));
}

// xfwm4 runs under Xvfb too, but gives the lock window the layout's minimum height (taller
// than a 768-line screen) instead of the screen's: the suite waits for that to be mended.
INSTANTIATE_TEST_SUITE_P(WindowManagers, Escape, ::testing::Values("openbox"));

} // namespace
} // namespace tlv
