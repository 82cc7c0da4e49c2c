// The real program on a private desktop (Xvfb and openbox), sandboxed: where its main window
// opens and what it stores, and the log-out's SIGTERM while the first-run wizard is open.
#include "tests/support/child_process.h"
#include "tests/support/desktop.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tlv {
namespace {

class DesktopRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.ready()) << "no private X desktop";
        procs.setDisplay(desktop);
    }
    // Both connection constants on this object's loopback address (the broadcast stays there).
    bool configureConstants() {
        const std::string constants = "HKLM\\Software\\Talvor Client\\Constants";
        return procs.reg(constants, "cnxBroardcastAdr", "REG_SZ", procs.address()) &&
               procs.reg(constants, "cnxUdpPortServer", "REG_DWORD",
                         std::to_string(procs.udpPort())) &&
               procs.reg(constants, "cnxUdpPortWksn", "REG_DWORD",
                         std::to_string(procs.udpPort() + 1));
    }
    // A value of the user hive as tlvreg prints it; -1 when it is not there.
    long userNumber(const std::string& section, const std::string& name) {
        const std::string out = root.file("query-" + name + ".out");
        std::remove(out.c_str());
        const int pid = procs.spawn(
            TLVREG_EXE, {"query", "HKCU\\Software\\Talvor Client\\" + section, "/v", name}, out);
        if (procs.waitExit(pid, 10) != 0)
            return -1;
        const std::string text = test::readFile(out);
        const size_t at = text.find("REG_SZ");
        return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + 6, nullptr, 10);
    }

    test::Desktop desktop{{1024, 600, "openbox"}};
    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};
};

// Deactivated at start: the main window shows, centred on the screen; Top and Left are stored
// in twips (15 to the pixel) when the client ends.
TEST_F(DesktopRun, MainWindowOpensCentredAndItsPositionIsStoredInTwips) {
    ASSERT_TRUE(procs.configure());
    ASSERT_TRUE(
        procs.reg("HKCU\\Software\\Talvor Client\\General", "Start active", "REG_DWORD", "0"));
    const int pid = procs.spawn(TLVCLI_EXE, {"-d"});
    const unsigned long w = desktop.waitWindow("^Talvor Client", 15000, pid);
    ASSERT_NE(w, 0u);
    const test::Desktop::Rect r = desktop.geometry(w);
    // Default Left (1024 * 15 - 4740) / 2 twips = 354 px, Top (600 * 15 - 1935) / 2 = 235 px.
    EXPECT_NEAR(r.x, 354, 20) << "not centred: " << r.x << "," << r.y;
    EXPECT_NEAR(r.y, 235, 40) << "not centred: " << r.x << "," << r.y;
    if (const char* dir = std::getenv("TLV_SHOTS"))
        test::Desktop::savePng(desktop.grab(), std::string(dir) + "/main_window_centred.png");
    procs.signal(pid, SIGTERM);
    ASSERT_EQ(procs.waitExit(pid, 10), 0);
    const long top = userNumber("Main window position", "Top");
    const long left = userNumber("Main window position", "Left");
    EXPECT_EQ(top, r.y * 15) << "Top not in twips";
    EXPECT_EQ(left, r.x * 15) << "Left not in twips";

    // The next start puts it back where it was, not a title bar higher.
    const int again = procs.spawn(TLVCLI_EXE, {"-d"});
    const unsigned long w2 = desktop.waitWindow("^Talvor Client", 15000, again);
    ASSERT_NE(w2, 0u);
    const test::Desktop::Rect r2 = desktop.geometry(w2);
    EXPECT_EQ(r2.x, r.x);
    EXPECT_EQ(r2.y, r.y);
    procs.signal(again, SIGTERM);
    EXPECT_EQ(procs.waitExit(again, 10), 0);
}

// The first start: the wizard is on screen when the SIGTERM of a log-out comes. It closes and
// the process ends in order.
TEST_F(DesktopRun, SigtermWhileTheSetupWizardIsOnScreen) {
    ASSERT_TRUE(configureConstants());
    const int pid = procs.spawn(TLVCLI_EXE, {"-d"});
    ASSERT_TRUE(test::waitUntil([&] { return desktop.windows(".", pid).size() >= 2; }, 15000))
        << "the main window and the wizard did not open";
    procs.signal(pid, SIGTERM);
    EXPECT_EQ(procs.waitExit(pid, 10), 0) << "the exit request was lost in the wizard";
}

} // namespace
} // namespace tlv
