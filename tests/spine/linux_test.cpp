#include "platform/actions.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/guard_link.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/session_end.h"
#include "platform/sandbox/sandbox_ports.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

namespace tlv {
namespace {

TEST(InstanceLock, OnePerMachineRoot) {
    test::TempRoot a, b;
    FileInstanceLock first(a.file("tlvcli.lock"));
    FileInstanceLock second(a.file("tlvcli.lock"));
    FileInstanceLock other(b.file("sub/tlvcli.lock"));
    EXPECT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_TRUE(other.tryAcquire()) << "another root does not see this one";
    {
        FileInstanceLock gone(b.file("x.lock"));
        ASSERT_TRUE(gone.tryAcquire());
    }
    FileInstanceLock after(b.file("x.lock"));
    EXPECT_TRUE(after.tryAcquire()) << "released with its owner";
}

TEST(InstanceLock, OnePerGraphicalSessionInTheUsersRuntimeFolder) {
    test::TempRoot machine, run;
    const RuntimeLayout installed = RuntimeLayout::fromEnvironment({}, "/usr/bin");
    const RuntimeLayout sandbox =
        RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", machine.path()}}, "/usr/bin");
    struct Case {
        const RuntimeLayout& layout;
        Environment env;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {installed,
         {{"XDG_RUNTIME_DIR", run.path()}, {"XDG_SESSION_ID", "c2"}},
         run.file("tlvcli-session-c2.lock")},
        {installed,
         {{"XDG_RUNTIME_DIR", run.path()}, {"DISPLAY", ":0"}},
         run.file("tlvcli-session-_0.lock")},
        {installed,
         {{"XDG_RUNTIME_DIR", run.path()}, {"XDG_SESSION_ID", "../../etc/x"}},
         run.file("tlvcli-session-.._.._etc_x.lock")},
        {installed, {{"XDG_RUNTIME_DIR", run.path()}}, run.file("tlvcli-session-0.lock")},
        {installed, {{"XDG_SESSION_ID", "c2"}}, installed.instanceLock},
        {installed,
         {{"XDG_RUNTIME_DIR", "relative"}, {"XDG_SESSION_ID", "c2"}},
         installed.instanceLock},
        {sandbox,
         {{"XDG_RUNTIME_DIR", run.path()}, {"XDG_SESSION_ID", "c2"}},
         sandbox.instanceLock},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sessionLockPath(c.layout, c.env), c.expected);

    // Two sessions of one user on a diskless host each run a client; a second one in a session
    // does not.
    GuardLink none({{"TLVCLI_GUARD_SOCKET", run.file("no-guard")}}, true);
    SessionInstanceLock c2(none, run.file("tlvcli-session-c2.lock"));
    SessionInstanceLock c3(none, run.file("tlvcli-session-c3.lock"));
    SessionInstanceLock c2again(none, run.file("tlvcli-session-c2.lock"));
    EXPECT_TRUE(c2.tryAcquire());
    EXPECT_TRUE(c3.tryAcquire());
    EXPECT_FALSE(c2again.tryAcquire());
}

TEST(SessionEnd, ExitFlagsBecomeLogindCommands) {
    LinuxSessionEnd end("c7");
    using V = std::vector<std::string>;
    EXPECT_EQ(end.commandFor(0), (V{"loginctl", "terminate-session", "c7"}));
    EXPECT_EQ(end.commandFor(4), (V{"loginctl", "terminate-session", "c7"}));
    EXPECT_EQ(end.commandFor(2), (V{"systemctl", "reboot"}));
    EXPECT_EQ(end.commandFor(6), (V{"systemctl", "reboot", "-i"}));
    EXPECT_EQ(end.commandFor(1), (V{"systemctl", "poweroff"}));
    EXPECT_EQ(end.commandFor(8 | 4), (V{"systemctl", "poweroff", "-i"}));
    EXPECT_EQ(LinuxSessionEnd("").commandFor(0).back(), "self");
    EXPECT_TRUE(end.commandFor(16).empty());
}

TEST(Sandbox, ActionLines) {
    test::TempRoot root;
    VirtualClock clock;
    ActionLog log(root.file("actions.log"), clock);
    SandboxShellLockdown lock(log);
    SandboxSoundMute mute(log);
    SandboxSessionEnd end(log);
    lock.funToggleTaskSwitching(false);
    lock.funToggleTaskbar(true);
    clock.advanceRaw(1500);
    mute.restoreOnUnlock();
    mute.muteOnLock();
    mute.restoreOnUnlock();
    end.exitWindows(6);
    EXPECT_EQ(test::readFile(root.file("actions.log")), "0\tlockdown\tTaskSwitching\t0\n"
                                                        "0\tlockdown\tTaskbar\t-1\n"
                                                        "1500\tmute\t0\n"
                                                        "1500\tmute\t1\n"
                                                        "1500\tmute\t0\n"
                                                        "1500\texitwindows\t6\n");
}

TEST(Sandbox, ALockScreenShownTwiceStillRestoresTheCustomersSound) {
    test::TempRoot root;
    VirtualClock clock;
    ActionLog log(root.file("actions.log"), clock);
    SandboxSoundMute mute(log);
    mute.muteOnLock();
    mute.muteOnLock();
    mute.restoreOnUnlock();
    EXPECT_EQ(test::readFile(root.file("actions.log")), "0\tmute\t1\n"
                                                        "0\tmute\t1\n"
                                                        "0\tmute\t0\n");
}

// The real program in sandbox mode, off screen, ended by SIGTERM.
class SandboxRun : public ::testing::Test {
protected:
    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};
};

TEST_F(SandboxRun, EntersTheDefaultStateAndShutsDownOnSigterm) {
    ASSERT_TRUE(procs.configure());
    const int pid = procs.spawn(TLVCLI_EXE, {});
    const std::string actions = root.file("actions.log");
    ASSERT_TRUE(test::waitForText(actions, "lockdown\tTaskbar\t0"));
    // A second copy on the same root refuses to start.
    const int second = procs.spawn(TLVCLI_EXE, {});
    EXPECT_EQ(procs.waitExit(second, 10), 1);
    procs.signal(pid, SIGTERM);
    EXPECT_EQ(procs.waitExit(pid, 10), 0);
    std::string lines;
    for (const std::string& line : [&] {
             std::vector<std::string> v;
             std::string all = test::readFile(actions), cur;
             for (char c : all)
                 if (c == '\n') {
                     v.push_back(cur.substr(cur.find('\t') + 1));
                     cur.clear();
                 } else
                     cur += c;
             return v;
         }())
        lines += line + "\n";
    EXPECT_EQ(lines, "lockdown\tTaskSwitching\t0\nlockdown\tCtrlAltDel\t0\n"
                     "lockdown\tDesktop\t0\nlockdown\tTaskbar\t0\n");
}

// A client started from a terminal that is then closed gets SIGHUP: it stays; the SIGTERM of a
// log-out still ends it in order.
TEST_F(SandboxRun, SurvivesSighupAndStillShutsDownOnSigterm) {
    ASSERT_TRUE(procs.configure());
    const int pid = procs.spawn(TLVCLI_EXE, {});
    ASSERT_TRUE(test::waitForText(root.file("actions.log"), "lockdown\tTaskbar\t0"));
    procs.signal(pid, SIGHUP);
    EXPECT_EQ(procs.waitExit(pid, 2), -1) << "SIGHUP ended the client";
    procs.signal(pid, SIGTERM);
    EXPECT_EQ(procs.waitExit(pid, 10), 0);
}

// The first start: the setup wizard is open (a modal dialog with its own event loop) when the
// log-out's SIGTERM comes. The wizard and the process end in order, the lock goes with them.
TEST_F(SandboxRun, SigtermWhileTheSetupWizardIsOpenEndsTheProcess) {
    const std::string constants = "HKLM\\Software\\Talvor Client\\Constants";
    ASSERT_TRUE(procs.reg(constants, "cnxBroardcastAdr", "REG_SZ", procs.address()));
    ASSERT_TRUE(
        procs.reg(constants, "cnxUdpPortServer", "REG_DWORD", std::to_string(procs.udpPort())));
    ASSERT_TRUE(
        procs.reg(constants, "cnxUdpPortWksn", "REG_DWORD", std::to_string(procs.udpPort() + 1)));
    const std::string output = root.file("client.out");
    const int pid = procs.spawn(TLVCLI_EXE, {"-d"}, output);
    ASSERT_TRUE(test::waitForText(output, "ConfigWizard")) << test::readFile(output);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the dialog's loop runs
    procs.signal(pid, SIGTERM);
    EXPECT_EQ(procs.waitExit(pid, 10), 0) << "the exit request was lost in the wizard";
    EXPECT_NE(test::readFile(output).find("App shutdown"), std::string::npos)
        << "not ended in order: " << test::readFile(output);
}

} // namespace
} // namespace tlv
