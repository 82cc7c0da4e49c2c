// The real program in sandbox mode, off screen, against the server simulator on a loopback
// address of its own: a session opened and closed by the server runs the cleanup and the batch
// files the server chose.
#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

namespace tlv {
namespace {

class SessionRun : public ::testing::Test {
protected:
    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};
};

TEST_F(SessionRun, ServerSessionRunsCleanupAndBatchFiles) {
    ASSERT_TRUE(procs.configure());
    test::writeFile(root.file("accounts.txt"), "card 123456 60\n");
    test::writeFile(root.file("script.txt"),
                    "wait-reporting 1\n"
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
    const int sim = procs.startSimulator(
        {"--accounts", root.file("accounts.txt"), "--plain", "--script", root.file("script.txt")},
        root.file("tlvsim.out"));
    const int cli = procs.spawn(TLVCLI_EXE, {}, root.file("tlvcli.out"));
    EXPECT_EQ(procs.waitExit(sim, 40), 0) << test::readFile(root.file("tlvsim.out"));
    procs.signal(cli, SIGTERM);
    EXPECT_EQ(procs.waitExit(cli, 10), 0);

    const std::string sim_out = test::readFile(root.file("tlvsim.out"));
    ASSERT_NE(sim_out.find("session-ok 123456"), std::string::npos) << sim_out;
    const std::string actions = test::readFile(root.file("actions.log"));
    const std::string data = root.path() + "/ProgramData/Talvor Client/";
    // Only the chosen steps, before the start batch; the end batch after the session.
    const size_t recent = actions.find("\tcleanup\trecentdocuments\t");
    const size_t start = actions.find("\trun\t\"" + data + "session_batch_start.bat\" 123456 " +
                                      procs.address() + " ");
    const size_t end = actions.find("\trun\t\"" + data + "session_batch_end.bat\" 123456 " +
                                    procs.address() + " ");
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
