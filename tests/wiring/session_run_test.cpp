// The real program in sandbox mode, off screen, against the server simulator on a loopback
// address of its own: a session opened and closed by the server runs the cleanup and the batch
// files the server chose.
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace tlv {
namespace {

class SessionRun : public ::testing::Test {
protected:
    test::TempRoot root;
    std::string address;
    int udpPort = 0;
    std::vector<pid_t> started;

    SessionRun() {
        // Parallel runs and a real server on this machine never meet this test (a discovered
        // server is reached on TCP 4646 of its own address).
        std::random_device rd;
        std::mt19937 rng(rd());
        address = "127." + std::to_string(20 + rng() % 200) + "." + std::to_string(rng() % 250) +
                  "." + std::to_string(2 + rng() % 250);
        udpPort = 20000 + static_cast<int>(rng() % 20000) * 2;
    }
    ~SessionRun() override {
        for (pid_t pid : started)
            if (waitpid(pid, nullptr, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
    }

    pid_t spawn(const std::string& exe, const std::vector<std::string>& args,
                const std::string& output) {
        std::vector<std::string> env = {"TLVCLI_ROOT=" + root.path(), "TLVCLI_SANDBOX=1",
                                        "QT_QPA_PLATFORM=offscreen", "HOME=" + root.path(),
                                        "XDG_RUNTIME_DIR=" + root.path()};
        std::vector<char*> envp, argv;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = exe;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&files);
        started.push_back(pid);
        return pid;
    }
    int waitExit(pid_t pid, int seconds) {
        for (int i = 0; i < seconds * 20; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }
    void reg(const std::string& key, const std::string& name, const std::string& type,
             const std::string& data) {
        const pid_t pid = spawn(TLVREG_EXE, {"add", key, "/v", name, "/t", type, "/d", data, "/f"},
                                root.file("tlvreg.out"));
        ASSERT_EQ(waitExit(pid, 10), 0);
    }
};

TEST_F(SessionRun, ServerSessionRunsCleanupAndBatchFiles) {
    for (const char* hive : {"HKLM", "HKCU"})
        reg(std::string(hive) + "\\Software\\Talvor Client\\General", "Config Wizard", "REG_SZ",
            "1");
    const std::string constants = "HKLM\\Software\\Talvor Client\\Constants";
    reg(constants, "cnxBroardcastAdr", "REG_SZ", address);
    reg(constants, "cnxUdpPortServer", "REG_DWORD", std::to_string(udpPort));
    reg(constants, "cnxUdpPortWksn", "REG_DWORD", std::to_string(udpPort + 1));
    test::writeFile(root.file("accounts.txt"), "card 123456 60\n");
    test::writeFile(root.file("script.txt"),
                    "sleep 8000\n"
                    "raw all SEssionCleanup 0|1|0|1|0|http://example.org/|0\n"
                    "raw all SessBatchStart 1\n"
                    "raw all SessBatchEnd 1\n"
                    "raw all KilledApps 0|0|0|0|notepad.exe\n"
                    "sleep 1000\n"
                    "open all 2 123456\n"
                    "sleep 3000\n"
                    "close all\n"
                    "sleep 2000\n"
                    "quit\n");
    const pid_t sim =
        spawn(TLVSIM_EXE,
              {"--bind", address, "--udp-port", std::to_string(udpPort), "--client-udp-port",
               std::to_string(udpPort + 1), "--accounts", root.file("accounts.txt"), "--plain",
               "--script", root.file("script.txt")},
              root.file("tlvsim.out"));
    const pid_t cli = spawn(TLVCLI_EXE, {}, root.file("tlvcli.out"));
    EXPECT_EQ(waitExit(sim, 40), 0) << test::readFile(root.file("tlvsim.out"));
    kill(cli, SIGTERM);
    EXPECT_EQ(waitExit(cli, 10), 0);

    const std::string sim_out = test::readFile(root.file("tlvsim.out"));
    ASSERT_NE(sim_out.find("session-ok 123456"), std::string::npos) << sim_out;
    const std::string actions = test::readFile(root.file("actions.log"));
    const std::string data = root.path() + "/ProgramData/Talvor Client/";
    // Only the chosen steps, before the start batch; the end batch after the session.
    const size_t recent = actions.find("\tcleanup\trecentdocuments\t");
    const size_t start =
        actions.find("\trun\t\"" + data + "session_batch_start.bat\" 123456 " + address + " ");
    const size_t end =
        actions.find("\trun\t\"" + data + "session_batch_end.bat\" 123456 " + address + " ");
    EXPECT_NE(recent, std::string::npos) << actions;
    EXPECT_NE(actions.find("\tcleanup\tstartpage\thttp://example.org/\n"), std::string::npos)
        << actions;
    EXPECT_EQ(actions.find("\tcleanup\twallpaper"), std::string::npos) << actions;
    EXPECT_EQ(actions.find("\tcleanup\tmessenger"), std::string::npos) << actions;
    ASSERT_NE(start, std::string::npos) << actions;
    ASSERT_NE(end, std::string::npos) << actions;
    EXPECT_LT(recent, start);
    EXPECT_LT(start, end);
    // The translated documents are installed beside the English ones.
    for (const char* name : {"en_intro.rtf", "fr_intro.rtf", "br_sessionpaused.rtf"})
        EXPECT_TRUE(std::filesystem::exists(data + name)) << name;
}

} // namespace
} // namespace tlv
