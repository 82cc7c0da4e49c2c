// Process manager and application killer on fakes, in virtual time.
#include "control/app_killer.h"
#include "control/modProcManager.h"
#include "core/log.h"
#include "platform/fake/fake_control_ports.h"
#include "platform/fake/virtual_time.h"
#include "tests/spine/client_rig.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct Rig {
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    Logger log{clock, "/dev/null"};
    FakeProcessTable processes;
    FakeWindowSystem windows;
    FakeTerminator terminator;
    FakeBrowserAccessibility accessibility;
    ProcManager procs{processes, windows, terminator, scheduler, log};
    AppKiller killer{procs, accessibility, scheduler, log};
    int messages = 0;

    Rig() {
        terminator.table = &processes;
        terminator.onTerminate = [this](int pid) { windows.removeWindowsOf(pid); };
        killer.setShowKilledMessage([this] { ++messages; });
        processes.add(processes.own, "/opt/tlvcli/tlvcli");
    }
    std::vector<int> terminated() const {
        std::vector<int> v;
        for (const auto& c : terminator.calls)
            v.push_back(c.pid);
        return v;
    }
};

TEST(ProcessList, OnlyReadableProcessesOfOurUser) {
    Rig r;
    r.processes.add(10, "/usr/bin/gedit");
    r.processes.add(11, "/usr/sbin/cron", 0); // another user
    r.processes.add(12, "", 1000, false);     // executable not readable
    const auto list = r.procs.funGetPoccessList(true);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].ProcessID, 10);
    EXPECT_EQ(list[1].ExeName, "gedit");
    EXPECT_EQ(list[1].ExePath, "/usr/bin/gedit");
    EXPECT_EQ(r.procs.funGetProcInfo(12).ProcessID, -1);
    EXPECT_EQ(r.procs.funGetProcInfo(11).ProcessID, 0);
    EXPECT_EQ(r.procs.funGetProcInfo(99).ProcessID, 0);
}

TEST(WindowList, OrdinaryTopLevelWindowsOnly) {
    Rig r;
    r.processes.add(10, "/usr/bin/gedit");
    struct Case {
        const char* title;
        bool visible, owner, tool, app;
        bool listed;
    } cases[] = {
        {"plain", true, false, false, false, true},
        {"hidden", false, false, false, false, false},
        {"", true, false, false, false, false},
        {"tool", true, false, true, false, false},
        {"owned dialog", true, true, false, false, false},
        {"owned app window", true, true, false, true, true},
    };
    uint64_t id = 100;
    for (const auto& c : cases) {
        WindowEntry& w = r.windows.add(++id, 10, c.title);
        w.visible = c.visible;
        w.hasOwner = c.owner;
        w.toolWindow = c.tool;
        w.appWindow = c.app;
    }
    r.windows.add(200, r.processes.own, "the client's own window");
    r.windows.add(201, 0, "no process");
    r.processes.add(11, "/usr/sbin/cron", 0);
    r.windows.add(202, 11, "another user's");
    std::vector<std::string> titles;
    for (const auto& p : r.procs.funGetWindowList(true))
        titles.push_back(p.WindowTitle + "/" + std::to_string(p.ProcessID));
    // A window whose process cannot be found is still listed, to be asked to close.
    EXPECT_EQ(titles,
              (std::vector<std::string>{"plain/10", "owned app window/10", "no process/0"}));
}

TEST(CloseAllApps, WindowWithoutAKnownProcessIsAskedToCloseNeverKilled) {
    Rig r;
    r.processes.add(10, "/usr/bin/gedit");
    r.windows.add(101, 0, "stays open", false);
    r.windows.add(102, 10, "asks to save", false);
    bool done = false;
    r.killer.closeAllApps([&] { done = true; });
    EXPECT_EQ(r.windows.closeRequests, (std::vector<uint64_t>{101, 102}));
    r.scheduler.advance(2000);
    EXPECT_TRUE(done);
    EXPECT_EQ(r.terminated(), std::vector<int>{10});
    EXPECT_TRUE(r.windows.exists(101));
}

TEST(CloseAllApps, CloseRequestThenTerminationAfterHalfASecondShellSpared) {
    Rig r;
    r.processes.add(10, "/usr/bin/gedit");
    r.processes.add(11, "/usr/bin/editor-that-asks");
    r.processes.add(12, "/usr/bin/nautilus");
    r.windows.add(101, 10, "closes");
    r.windows.add(102, 11, "asks to save", false);
    r.windows.add(103, 12, "Home", false);
    r.windows.add(104, r.processes.own, "client");
    bool done = false;
    r.killer.closeAllApps([&] { done = true; });
    EXPECT_EQ(r.windows.closeRequests, (std::vector<uint64_t>{101, 102, 103}));
    EXPECT_TRUE(r.terminator.calls.empty());
    r.scheduler.advance(ProcManager::kCloseGraceMs - ProcManager::kClosePollMs);
    EXPECT_TRUE(r.terminator.calls.empty()) << "still within the grace time";
    EXPECT_FALSE(done);
    r.scheduler.advance(ProcManager::kClosePollMs);
    EXPECT_EQ(r.terminated(), std::vector<int>{11});
    EXPECT_TRUE(done);
    EXPECT_TRUE(r.windows.exists(103)) << "the shell is only asked";
    EXPECT_TRUE(r.windows.exists(104));
    r.scheduler.advance(1000);
    EXPECT_EQ(r.procs.pendingCloses(), 0u);
}

TEST(CloseAllApps, NoKillClosesNothingDebugSparesTools) {
    Rig r;
    r.processes.add(10, "/usr/bin/gedit");
    r.processes.add(11, "/usr/bin/gdb");
    r.windows.add(101, 10, "doc", false);
    r.windows.add(102, 11, "gdb", false);
    r.killer.setNoKill(true);
    r.killer.closeAllApps({});
    r.scheduler.advance(2000);
    EXPECT_TRUE(r.windows.closeRequests.empty());
    EXPECT_TRUE(r.terminator.calls.empty());

    r.killer.setNoKill(false);
    r.killer.setDebug(true);
    r.killer.closeAllApps({});
    r.scheduler.advance(2000);
    EXPECT_EQ(r.windows.closeRequests, std::vector<uint64_t>{101});
    EXPECT_EQ(r.terminated(), std::vector<int>{10});
}

TEST(ProgramNames, WholeNamesCaseInsensitiveExeSuffixOptional) {
    struct Case {
        const char* exe;
        const char* name;
        bool match;
    } cases[] = {
        {"notepad", "notepad.exe", true},     {"notepad", "NOTEPAD.EXE", true},
        {"notepad.exe", "notepad.exe", true}, {"notepad", "notepad", false},
        {"notepad.exe", "notepad", false},    {"notepad2", "notepad.exe", false},
        {"xnotepad", "notepad.exe", false},   {"notepad", "", false},
        {"notepad", ".exe", false},           {"firefox-esr", "firefox-esr.exe", true},
        {"Notepad", "notepad.EXE", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matchesProgramName(c.exe, c.name), c.match) << c.exe << " / " << c.name;
}

TEST(KillApps, FlagsAndListWithLinuxNamesMessageOncePerPass) {
    Rig r;
    r.processes.add(20, "/usr/lib/firefox-esr/firefox-esr");
    r.processes.add(21, "/usr/bin/thunderbird");
    r.processes.add(22, "/tmp/x/notepad");
    r.processes.add(23, "/tmp/x/calc");
    r.processes.add(24, "/tmp/x/gedit");
    r.processes.add(25, "/usr/bin/firefox", 0); // another user's: never touched

    r.killer.subKillApps();
    r.scheduler.runPending();
    EXPECT_TRUE(r.terminator.calls.empty());
    EXPECT_EQ(r.messages, 0) << "nothing killed, nothing said";

    r.killer.setKillFlags(false, true, false, false);
    r.killer.setForbiddenList("NOTEPAD.EXE*calc.exe");
    r.killer.subKillApps();
    r.scheduler.runPending();
    EXPECT_EQ(r.terminated(), (std::vector<int>{20, 21, 22, 23}));
    EXPECT_EQ(r.messages, 1);
}

TEST(KillApps, KilledAppsFieldsFourKeepTheListFiveReplaceIt) {
    Rig r;
    r.killer.applyKilledAppsFields({"1", "0", "2", "1", "a.exe*b.exe"});
    const auto& s = r.killer.settings();
    EXPECT_TRUE(s.killInternetExplorer);
    EXPECT_FALSE(s.killMozilla);
    EXPECT_FALSE(s.killNetscape) << "only exactly 1 is on";
    EXPECT_TRUE(s.killOutlookExpress);
    r.killer.applyKilledAppsFields({"0", "1", "0", "0"});
    EXPECT_TRUE(s.killMozilla);
    EXPECT_EQ(*s.forbidden, (std::vector<std::string>{"a.exe", "b.exe"}));
    r.killer.applyKilledAppsFields({"0", "0", "0", "0", ""});
    EXPECT_EQ(*s.forbidden, std::vector<std::string>{""});
    EXPECT_THROW(r.killer.applyKilledAppsFields({"1", "1"}), std::exception);
}

TEST(KillApps, ShellNamedInTheListIsOnlyAskedToCloseItsWindows) {
    Rig r;
    r.processes.add(50, "/usr/bin/nautilus");
    r.windows.add(501, 50, "Home", false);
    r.killer.setForbiddenList("nautilus.exe");
    r.killer.subKillApps();
    r.scheduler.advance(1000);
    EXPECT_EQ(r.windows.closeRequests, std::vector<uint64_t>{501});
    EXPECT_TRUE(r.terminator.calls.empty());
}

TEST(KillApps, NameWithoutExtensionAndOneNameList) {
    Rig r;
    r.processes.add(22, "/tmp/x/notepad.exe");
    r.processes.add(23, "/tmp/x/calc");
    r.killer.setForbiddenList("notepad");
    r.killer.subKillApps();
    r.scheduler.runPending();
    EXPECT_TRUE(r.terminator.calls.empty()) << "\"notepad\" is not \"notepad.exe\"";
    r.killer.setForbiddenList("calc.exe");
    r.killer.subKillApps();
    r.scheduler.runPending();
    EXPECT_EQ(r.terminated(), std::vector<int>{23}) << "a one-name list is consulted";
}

TEST(KillApps, InternetFlagClosesBrowserWindowsShowingAddresses) {
    Rig r;
    r.processes.add(30, "/usr/bin/chromium");
    r.processes.add(31, "/usr/bin/epiphany");
    WindowEntry& web = r.windows.add(301, 30, "News - Chromium", false);
    web.wmClass = "Chromium";
    WindowEntry& local = r.windows.add(302, 31, "Files");
    local.wmClass = "Epiphany";
    r.processes.add(32, "/usr/bin/chromium");
    WindowEntry& root = r.windows.add(303, 32, "Local - Chromium", false);
    root.wmClass = "Chromium";
    r.accessibility.addresses = {
        {301, "https://news.example/"}, {302, "C:\\"}, {303, "127.0.0.1:8765"}};
    r.killer.setKillFlags(true, false, false, false);
    r.killer.subKillApps();
    r.scheduler.runPending();
    EXPECT_EQ(r.windows.closeRequests, (std::vector<uint64_t>{301, 303}))
        << "a root page shown without its scheme is a web address too";
    EXPECT_EQ(r.messages, 0) << "shown once the windows are settled";
    r.scheduler.advance(ProcManager::kCloseGraceMs);
    EXPECT_EQ(r.terminated(), (std::vector<int>{30, 32}));
    EXPECT_EQ(r.messages, 1);
}

// Through the client's own tmrAppKiller, in the states of the state machine.
struct ClientWithKiller {
    test::ClientRig rig;
    Rig control;
    ClientWithKiller() {
        auto p = rig.ports();
        rig.client = std::make_unique<Client>(ClientPorts{
            p.clock, p.scheduler, p.machineHive, p.userHive, p.systemInfo, p.layout, p.lockdown,
            p.mute, p.forms, p.status, p.tray, p.cleanup, p.batch, control.killer, p.sessionEnd,
            p.instanceLock, p.processExit, p.langPacks, p.autostart});
        rig.c().hooks().tmrAppKiller_Timer = [this] { control.killer.tmrAppKiller_Timer(); };
        rig.start();
    }
};

TEST(AppKillerTimer, DisconnectedModeKillsWithinTenSecondsConnectedModeNever) {
    ClientWithKiller c;
    // The killer's own scheduler is not the client's: the pass runs in the client's timer.
    c.control.processes.add(40, "/tmp/x/notepad");
    c.control.killer.setForbiddenList("notepad.exe*calc.exe");
    c.rig.openSession(kSessionCard, kStateConnected);
    c.rig.scheduler.advance(60'000);
    EXPECT_TRUE(c.control.terminator.calls.empty()) << "connected mode: nothing periodic";

    ClientWithKiller d;
    d.control.processes.add(40, "/tmp/x/notepad");
    d.control.killer.setForbiddenList("notepad.exe*calc.exe");
    d.rig.openSession(kSessionCard, kStateDisconnected);
    d.control.processes.add(41, "/tmp/x/calc"); // started during the session
    d.rig.scheduler.advance(10'000);
    d.control.scheduler.runPending();
    EXPECT_EQ(d.control.terminated(), (std::vector<int>{40, 41}));
}

} // namespace
} // namespace tlv
