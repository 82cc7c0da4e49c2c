// The address field read through a real AT-SPI2 bus, when the machine offers one.
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/x11_window_system.h"
#include "tests/control2/linux_rig.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace tlv {
namespace {

using test::Child;

bool executable(const std::string& p) {
    return std::filesystem::exists(p);
}

TEST(AtspiAccessibility, AddressFieldReadAndSetThroughTheTree) {
    const std::string launcher = "/usr/libexec/at-spi-bus-launcher";
    if (!executable(launcher) || !executable("/usr/bin/dbus-daemon"))
        GTEST_SKIP() << "no AT-SPI bus launcher or D-Bus daemon on this machine";
    test::PrivateXvfb xvfb;
    if (!xvfb.running())
        GTEST_SKIP() << "Xvfb could not be started";
    test::TempRoot tmp;
    test::DbusSession bus;
    if (bus.address().empty())
        GTEST_SKIP() << "no D-Bus session bus could be started";
    const std::vector<std::string> env = {"DISPLAY=" + xvfb.display(),
                                          "DBUS_SESSION_BUS_ADDRESS=" + bus.address()};
    test::ProcessTree a11y({launcher, "--launch-immediately"}, env);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    setenv("DISPLAY", xvfb.display().c_str(), 1);

    std::vector<std::string> appEnv = env;
    appEnv.push_back("QT_QPA_PLATFORM=xcb");
    appEnv.push_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1");
    appEnv.push_back("QT_ACCESSIBILITY=1");
    // Under the sanitizer run: libxkbcommon-x11 copies counted names out of an xcb reply with
    // strndup, which strict string checks take for a read past the reply's end. The browser
    // is only a stand-in, so its Qt start-up gets the ordinary checks; later options win.
    if (const char* asan = std::getenv("ASAN_OPTIONS"))
        appEnv.push_back(std::string("ASAN_OPTIONS=") + asan + ":strict_string_checks=0");
    const std::string title = "News - Mozilla Firefox";
    test::ProcessTree browser({test::besideTest("a11y_test_browser"), title,
                               "https://news.example/today", tmp.file("navigated")},
                              appEnv);

    AtspiAccessibility tree;
    WindowEntry w;
    w.id = 1;
    w.pid = browser.pid();
    w.title = title;
    std::optional<std::string> address;
    // The tree is read on the accessibility worker: a read answers what the last round found.
    auto readNow = [&](const WindowEntry& window) {
        tree.readAddress(window);
        tree.refreshNow();
        return tree.readAddress(window);
    };
    for (int i = 0; i < 150 && !address; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        address = readNow(w);
    }
    if (!address && !tree.available())
        GTEST_SKIP() << "the accessibility bus did not come up";
    ASSERT_TRUE(address) << "the address field of the window was not found";
    EXPECT_EQ(*address, "https://news.example/today");

    // No window manager on the private display: the test gives the window the focus.
    X11WindowSystem windows(xvfb.display());
    for (const auto& x : windows.topLevelWindows())
        if (x.pid == browser.pid() && x.visible)
            test::focusWindow(xvfb.display(), x.id);
    EXPECT_TRUE(tree.navigate(w, "https://other.example/"));
    std::optional<std::string> after;
    for (int i = 0; i < 50 && after != "https://other.example/"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        after = readNow(w);
    }
    EXPECT_EQ(after, "https://other.example/");
    for (int i = 0; i < 40 && !std::filesystem::exists(tmp.file("navigated")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(tmp.file("navigated"))) << "Return was not pressed";
    EXPECT_EQ(test::readFile(tmp.file("navigated")), "https://other.example/");

    // A found field is kept: reading it again walks no tree.
    const auto searches = tree.stats().searches;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(readNow(w), "https://other.example/");
    EXPECT_EQ(tree.stats().searches, searches) << "a found field is not searched again";

    // A browser too busy to answer (stopped here) keeps the address it showed last, and is
    // read afresh once it answers again.
    ASSERT_EQ(kill(browser.pid(), SIGSTOP), 0);
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(readNow(w), "https://other.example/") << "round " << round;
    ASSERT_EQ(kill(browser.pid(), SIGCONT), 0);
    EXPECT_TRUE(tree.navigate(w, "https://third.example/"));
    for (int i = 0; i < 50 && after != "https://third.example/"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        after = readNow(w);
    }
    EXPECT_EQ(after, "https://third.example/");

    WindowEntry stranger = w;
    stranger.id = 2;
    stranger.pid = a11y.pid(); // a process with no such window
    EXPECT_FALSE(readNow(stranger));
}

} // namespace
} // namespace tlv
