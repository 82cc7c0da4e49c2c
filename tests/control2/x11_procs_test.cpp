// The process manager on a private Xvfb with small test programs, and the real process list.
#include "control/app_killer.h"
#include "control/modProcManager.h"
#include "core/client.h"
#include "core/log.h"
#include "platform/fake/fake_control_ports.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/proc_table.h"
#include "platform/linux/x11_window_system.h"
#include "tests/control2/linux_rig.h"
#include "tests/spine/client_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>
#include <thread>
#include <unistd.h>

namespace tlv {
namespace {

using test::Child;

// The real process list, narrowed to the processes this test started (and itself): nothing
// else on the machine can be touched.
class OwnChildrenTable : public ProcessTable {
public:
    std::set<int> allowed;
    LinuxProcessTable real;
    std::vector<ProcessEntry> list() override {
        std::vector<ProcessEntry> out;
        for (auto& e : real.list())
            if (allowed.contains(e.pid) || e.pid == ownPid())
                out.push_back(e);
        return out;
    }
    ProcessEntry entry(int pid) override {
        if (!allowed.contains(pid) && pid != ownPid())
            return {};
        return real.entry(pid);
    }
    int ownPid() const override { return real.ownPid(); }
    uint32_t ownUid() const override { return real.ownUid(); }
};

struct XRig {
    test::PrivateXvfb xvfb;
    test::TempRoot tmp;
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    Logger log{clock, "/dev/null"};
    OwnChildrenTable processes;
    std::unique_ptr<X11WindowSystem> windows;
    LinuxProcessTerminator terminator;
    FakeBrowserAccessibility accessibility;
    std::unique_ptr<ProcManager> procs;
    std::unique_ptr<AppKiller> killer;

    XRig() {
        if (!xvfb.running())
            return;
        windows = std::make_unique<X11WindowSystem>(xvfb.display());
        procs = std::make_unique<ProcManager>(processes, *windows, terminator, scheduler, log);
        killer = std::make_unique<AppKiller>(*procs, accessibility, scheduler, log);
    }
    Child start(const std::string& program, const std::string& title, const char* mode,
                const char* kind = "normal") {
        Child c({program, title, mode, "xtestwindow", kind}, {"DISPLAY=" + xvfb.display()});
        processes.allowed.insert(c.pid());
        return c;
    }
    Child startWindow(const std::string& title, const char* mode, const std::string& as = {}) {
        std::string program = test::besideTest("x_test_window");
        if (!as.empty())
            program = test::copyProgram(program, tmp.path(), as);
        Child c = start(program, title, mode);
        waitForWindowOf(c.pid());
        return c;
    }
    bool waitForWindowOf(int pid) {
        for (int i = 0; i < 500; ++i) {
            for (const auto& w : windows->topLevelWindows())
                if (w.pid == pid && w.visible)
                    return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Virtual time that keeps pace with real time, so that real programs can react.
    void runReal(int64_t ms, const std::function<bool()>& until = {}) {
        for (int64_t t = 0; t < ms; t += 10) {
            if (until && until())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            scheduler.advance(10);
        }
    }
};

#define REQUIRE_XVFB(rig)                                                                          \
    if (!(rig).xvfb.running())                                                                     \
    GTEST_SKIP() << "Xvfb could not be started"

TEST(X11ProcessManager, ClosingWindowExitsIgnoringOneKilledShellOnlyAskedOwnUntouched) {
    XRig r;
    REQUIRE_XVFB(r);
    test::OwnWindow own(r.xvfb.display());
    Child closes = r.startWindow("Letter", "close");
    Child ignores = r.startWindow("Unsaved changes", "ignore");
    Child shell = r.startWindow("Home", "ignore", "nautilus");

    std::vector<std::string> titles;
    for (const auto& p : r.procs->funGetWindowList(true))
        titles.push_back(p.WindowTitle + "/" + p.ExeName);
    EXPECT_EQ(titles.size(), 3u);

    bool done = false;
    r.killer->closeAllApps([&] { done = true; });
    r.runReal(3000, [&] { return done; });
    EXPECT_TRUE(done);
    ASSERT_TRUE(closes.waitExit(2000));
    EXPECT_TRUE(closes.exitedNormally()) << "it closed by itself";
    ASSERT_TRUE(ignores.waitExit(2000));
    EXPECT_TRUE(ignores.killedBySignal(SIGKILL));
    EXPECT_FALSE(shell.waitExit(300)) << "the shell is only asked to close its window";
    EXPECT_TRUE(r.windows->exists(own.id())) << "the client's own window is never touched";
}

TEST(X11ProcessManager, WindowFilterFromTheWindowProperties) {
    XRig r;
    REQUIRE_XVFB(r);
    const std::string program = test::besideTest("x_test_window");
    std::vector<Child> children;
    for (const char* kind : {"normal", "utility", "skip-taskbar", "owned", "owned-app"}) {
        children.push_back(r.start(program, kind, "close", kind));
        ASSERT_TRUE(r.waitForWindowOf(children.back().pid())) << kind;
    }
    std::vector<std::string> titles;
    for (const auto& p : r.procs->funGetWindowList(true))
        titles.push_back(p.WindowTitle);
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"normal", "owned-app"}));
    for (const auto& w : r.windows->topLevelWindows())
        if (w.pid == children[0].pid()) {
            EXPECT_EQ(w.wmClass, "xtestwindow");
            EXPECT_TRUE(w.visible);
        }
}

// Programs that do not set _NET_WM_PID, or state a PID of their own namespace (Flatpak): the
// X server names the real process, which is closed like any other.
TEST(X11ProcessManager, OwnerFromTheServerWhenTheWindowDoesNotSayOrLies) {
    XRig r;
    REQUIRE_XVFB(r);
    const std::string program = test::besideTest("x_test_window");
    const std::string display = "DISPLAY=" + r.xvfb.display();
    Child silent({program, "No pid", "ignore"}, {display, "X_TEST_WM_PID=none"});
    Child foreign({program, "Namespace pid", "ignore"}, {display, "X_TEST_WM_PID=2"});
    r.processes.allowed.insert(silent.pid());
    r.processes.allowed.insert(foreign.pid());
    ASSERT_TRUE(r.waitForWindowOf(silent.pid()));
    ASSERT_TRUE(r.waitForWindowOf(foreign.pid()));
    bool done = false;
    r.killer->closeAllApps([&] { done = true; });
    r.runReal(3000, [&] { return done; });
    EXPECT_TRUE(done);
    ASSERT_TRUE(silent.waitExit(2000));
    EXPECT_TRUE(silent.killedBySignal(SIGKILL));
    ASSERT_TRUE(foreign.waitExit(2000));
    EXPECT_TRUE(foreign.killedBySignal(SIGKILL));
}

TEST(X11ProcessManager, NoKillClosesNothing) {
    XRig r;
    REQUIRE_XVFB(r);
    Child closes = r.startWindow("Letter", "close");
    r.killer->setNoKill(true);
    bool done = false;
    r.killer->closeAllApps([&] { done = true; });
    r.runReal(700);
    EXPECT_TRUE(done);
    EXPECT_FALSE(closes.waitExit(200));
}

TEST(X11ProcessManager, ScreenSizeOfTheDisplay) {
    XRig r;
    REQUIRE_XVFB(r);
    EXPECT_EQ(r.windows->screenPixels(), (std::pair<int, int>{1024, 768}));
    EXPECT_FALSE(r.windows->exists(0));
}

TEST(ForbiddenList, NotepadAndCalcTerminatedWithinTenSecondsInDisconnectedMode) {
    XRig r;
    REQUIRE_XVFB(r);
    // Windowless programs: the session start's funCloseAllApps leaves them to the killer.
    const std::string sleep = "/bin/sleep";
    Child notepad({test::copyProgram(sleep, r.tmp.path(), "notepad"), "60"});
    Child calc({test::copyProgram(sleep, r.tmp.path(), "calc"), "60"});
    r.processes.allowed.insert(notepad.pid());
    r.processes.allowed.insert(calc.pid());

    r.killer->setForbiddenList("notepad");
    r.killer->subKillApps();
    r.runReal(200);
    EXPECT_FALSE(notepad.waitExit(100)) << "a name without its extension matches nothing";

    // Through the client's own tmrAppKiller in a disconnected-mode session.
    test::ClientRig rig;
    ProcManager procs(r.processes, *r.windows, r.terminator, rig.scheduler, r.log);
    AppKiller killer(procs, r.accessibility, rig.scheduler, r.log);
    int messages = 0;
    killer.setShowKilledMessage([&] { ++messages; });
    killer.setForbiddenList("NOTEPAD.EXE*calc.exe");
    auto p = rig.ports();
    rig.client = std::make_unique<Client>(
        ClientPorts{p.clock, p.scheduler, p.machineHive, p.userHive, p.systemInfo, p.layout,
                    p.lockdown, p.mute, p.forms, p.status, p.tray, p.cleanup, p.batch, killer,
                    p.sessionEnd, p.instanceLock, p.processExit, p.langPacks, p.autostart});
    rig.c().hooks().tmrAppKiller_Timer = [&] { killer.tmrAppKiller_Timer(); };
    rig.start();
    rig.openSession(kSessionCard, kStateDisconnected);
    rig.scheduler.advance(9'990);
    EXPECT_FALSE(notepad.waitExit(50));
    rig.scheduler.advance(10);
    ASSERT_TRUE(notepad.waitExit(3000));
    ASSERT_TRUE(calc.waitExit(3000));
    EXPECT_TRUE(notepad.killedBySignal(SIGKILL));
    EXPECT_TRUE(calc.killedBySignal(SIGKILL));
    rig.scheduler.advance(100);
    EXPECT_EQ(messages, 1);
}

TEST(LinuxProcessTable, OwnProcessWithItsExecutable) {
    LinuxProcessTable t;
    const ProcessEntry self = t.entry(t.ownPid());
    EXPECT_EQ(self.pid, t.ownPid());
    EXPECT_TRUE(self.exeReadable);
    EXPECT_EQ(self.exePath, test::besideTest("test_control2_linux"));
    EXPECT_EQ(self.uid, t.ownUid());
    EXPECT_EQ(t.entry(0).pid, 0);
    EXPECT_EQ(t.entry(999'999'999).pid, 0);
    bool found = false;
    for (const auto& e : t.list())
        found = found || e.pid == t.ownPid();
    EXPECT_TRUE(found);
}

TEST(LinuxProcessTerminator, LeavesAReusedIdentifierAlone) {
    test::TempRoot tmp;
    Child sleeper({"sleep", "30"});
    LinuxProcessTerminator term;
    EXPECT_FALSE(term.terminate(sleeper.pid(), "/usr/bin/not-sleep", "not-sleep"));
    EXPECT_FALSE(sleeper.waitExit(100));
    EXPECT_FALSE(term.terminate(getpid(), "", "self"));
    LinuxProcessTable t;
    EXPECT_TRUE(term.terminate(sleeper.pid(), t.entry(sleeper.pid()).exePath, "sleep"));
    ASSERT_TRUE(sleeper.waitExit(2000));
    EXPECT_TRUE(sleeper.killedBySignal(SIGKILL));
}

} // namespace
} // namespace tlv
