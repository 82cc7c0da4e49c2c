// The real program in sandbox mode, off screen, against the server simulator: orders a café's
// server gives, checked by what the simulator receives and what the sandbox records.
#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

namespace tlv {
namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// Waits up to SECONDS for the file to hold TEXT at least N times.
bool waitForCount(const std::string& path, const std::string& text, size_t n, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (count(test::readFile(path), text) >= n)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class ServerOrders : public ::testing::Test {
protected:
    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};
    std::string follow = root.file("follow.txt");
    void order(const std::string& line) { std::ofstream(follow, std::ios::app) << line << "\n"; }
};

TEST_F(ServerOrders, IdentityLoginCaseAndARepeatedPauseAsTheServerSeesThem) {
    ASSERT_TRUE(procs.configure());
    test::writeFile(root.file("accounts.txt"), "client éva secret 60\n");
    test::writeFile(follow, "");
    const std::string simOut = root.file("tlvsim.out");
    const std::string actions = root.file("actions.log");
    procs.startSimulator({"--accounts", root.file("accounts.txt"), "--plain", "--follow", follow},
                         simOut);
    const int cli = procs.spawn(TLVCLI_EXE, {}, root.file("tlvcli.out"));

    // The lockdown indicator is the stored "Allow Lockdown" (1 by default), not -1.
    ASSERT_TRUE(test::waitForText(simOut, "identified", 60)) << test::readFile(simOut);
    EXPECT_NE(test::readFile(simOut).find(" lockdown=1\n"), std::string::npos)
        << test::readFile(simOut);

    // The manager opens a session for the login typed in capitals: the workstation asks for
    // it lower-cased as text ("éva"), which the server knows.
    order("open all 4 ÉVA secret");
    ASSERT_TRUE(test::waitForText(simOut, "session-ok éva", 20)) << test::readFile(simOut);

    // Paused twice, then resumed: the customer's sound (on) comes back.
    ASSERT_TRUE(waitForCount(actions, "\tmute\t0\n", 1, 20)) << test::readFile(actions);
    const size_t before = count(test::readFile(actions), "\tmute\t");
    const auto lastMute = [&] {
        const std::string a = test::readFile(actions);
        const size_t at = a.rfind("\tmute\t");
        return at == std::string::npos ? std::string() : a.substr(at, a.find('\n', at) - at);
    };
    order("pause all");
    ASSERT_TRUE(waitForCount(actions, "\tmute\t", before + 1, 20)) << test::readFile(actions);
    EXPECT_EQ(lastMute(), "\tmute\t1");
    order("pause all");
    ASSERT_TRUE(waitForCount(actions, "\tmute\t", before + 2, 20)) << test::readFile(actions);
    order("unpause all");
    ASSERT_TRUE(waitForCount(actions, "\tmute\t", before + 3, 20)) << test::readFile(actions);
    EXPECT_EQ(lastMute(), "\tmute\t0") << test::readFile(actions);

    order("quit");
    procs.signal(cli, SIGTERM);
    EXPECT_EQ(procs.waitExit(cli, 10), 0);
}

} // namespace
} // namespace tlv
