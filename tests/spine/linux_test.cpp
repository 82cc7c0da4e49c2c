#include "platform/actions.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/session_end.h"
#include "platform/sandbox/sandbox_ports.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

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

// The real program in sandbox mode, off screen, ended by SIGTERM.
class SandboxRun : public ::testing::Test {
protected:
    test::TempRoot root;

    pid_t spawn(const std::vector<std::string>& args) {
        std::vector<std::string> env = {"TLVCLI_ROOT=" + root.path(), "TLVCLI_SANDBOX=1",
                                        "QT_QPA_PLATFORM=offscreen", "HOME=" + root.path(),
                                        "XDG_RUNTIME_DIR=" + root.path()};
        std::vector<char*> envp, argv;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string exe = TLVCLI_EXE;
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
        return pid;
    }
    // Waits up to 10 s for the file to hold the text.
    bool waitFor(const std::string& path, const std::string& text) {
        for (int i = 0; i < 200; ++i) {
            std::error_code ec;
            if (std::filesystem::exists(path, ec) &&
                test::readFile(path).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    int waitExit(pid_t pid) {
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    void wizardDone() {
        // The hives as tlvreg writes them.
        const std::string reg = std::filesystem::path(TLVCLI_EXE).parent_path() / "tlvreg";
        for (const char* hive : {"HKLM", "HKCU"}) {
            const std::string key = std::string(hive) + "\\Software\\Talvor Client\\General";
            pid_t pid = 0;
            std::vector<std::string> a = {reg,  "add",    key,  "/v", "Config Wizard",
                                          "/t", "REG_SZ", "/d", "1",  "/f"};
            std::vector<char*> argv;
            for (auto& s : a)
                argv.push_back(s.data());
            argv.push_back(nullptr);
            std::string rootEnv = "TLVCLI_ROOT=" + root.path();
            char* envp[] = {rootEnv.data(), nullptr};
            ASSERT_EQ(posix_spawn(&pid, reg.c_str(), nullptr, nullptr, argv.data(), envp), 0);
            int status = 0;
            waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
};

TEST_F(SandboxRun, EntersTheDefaultStateAndShutsDownOnSigterm) {
    wizardDone();
    const pid_t pid = spawn({});
    const std::string actions = root.file("actions.log");
    ASSERT_TRUE(waitFor(actions, "lockdown\tTaskbar\t0"));
    // A second copy on the same root refuses to start.
    const pid_t second = spawn({});
    EXPECT_EQ(waitExit(second), 1);
    kill(pid, SIGTERM);
    EXPECT_EQ(waitExit(pid), 0);
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

} // namespace
} // namespace tlv
