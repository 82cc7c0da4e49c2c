// The URL monitor's tick with 1 and 5 browser windows open, on a private Xvfb, session bus and
// AT-SPI bus: the work on the interface thread per tick (median and maximum), against the
// window listing alone that every tick does anyway, measured in the same run; and the worker's
// round (the tree reads moved off the interface thread) against one plain D-Bus round trip.
// The browser windows are the Qt stand-in of the accessibility test, named like Firefox.
#include "control/url_spy.h"
#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/x11_window_system.h"
#include "tests/control2/linux_rig.h"
#include "tests/support/temp_root.h"

#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using namespace tlv;
using Steady = std::chrono::steady_clock;

namespace {

struct Figures {
    double median = 0, max = 0;
};

Figures measure(int runs, const std::function<void()>& fn) {
    std::vector<double> us;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Steady::now();
        fn();
        us.push_back(std::chrono::duration<double, std::micro>(Steady::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us.back()};
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
    test::PrivateXvfb xvfb;
    test::DbusSession bus;
    if (!xvfb.running() || bus.address().empty()) {
        std::fprintf(stderr, "no Xvfb or D-Bus daemon\n");
        return 1;
    }
    const std::vector<std::string> env = {"DISPLAY=" + xvfb.display(),
                                          "DBUS_SESSION_BUS_ADDRESS=" + bus.address()};
    test::ProcessTree a11y({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}, env);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    test::TempRoot tmp;
    // Named "firefox", so that its window class is a browser's.
    const std::string browser =
        test::copyProgram(test::besideTest("a11y_test_browser"), tmp.path(), "firefox");
    std::vector<std::string> appEnv = env;
    appEnv.push_back("QT_QPA_PLATFORM=xcb");
    appEnv.push_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1");

    VirtualClock clock;
    Logger log(clock, "/dev/null");
    X11WindowSystem windows(xvfb.display());
    AtspiAccessibility tree(nullptr);
    UrlSpy spy(windows, tree, log);
    int reports = 0;
    spy.setReport([&](const std::string&) { ++reports; });
    tree.available();
    GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);

    std::printf("| windows | tick on the interface thread, median / max | window listing alone, "
                "median | ratio | worker round, median / max | D-Bus round trip, median | "
                "ratio |\n|---|---|---|---|---|---|---|\n");
    std::vector<std::unique_ptr<test::ProcessTree>> open;
    for (int count : {1, 5}) {
        while (static_cast<int>(open.size()) < count) {
            const int n = static_cast<int>(open.size()) + 1;
            open.push_back(std::make_unique<test::ProcessTree>(
                std::vector<std::string>{
                    browser, "Page " + std::to_string(n) + " - Mozilla Firefox",
                    "https://site" + std::to_string(n) + ".example/", tmp.file("nav")},
                appEnv));
        }
        // Until every window's address was read once.
        for (int i = 0; i < 300 && static_cast<int>(spy.remembered().size()) < count; ++i) {
            spy.tmrURLspy_Timer();
            tree.refreshNow();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (static_cast<int>(spy.remembered().size()) < count) {
            std::fprintf(stderr, "only %zu of %d windows read\n", spy.remembered().size(), count);
            return 1;
        }
        const Figures tick = measure(runs, [&] { spy.tmrURLspy_Timer(); });
        const Figures listing = measure(runs, [&] { windows.topLevelWindows(); });
        std::vector<WindowEntry> shown;
        for (const WindowEntry& w : windows.topLevelWindows())
            if (w.wmClass == "firefox" && w.visible)
                shown.push_back(w);
        // A round of the worker for the windows a tick asked for.
        const Figures round = measure(runs, [&] {
            for (const WindowEntry& w : shown)
                tree.readAddress(w);
            tree.refreshNow();
        });
        // One plain D-Bus round trip: the accessibility bus launcher asked for its address.
        const Figures trip = measure(runs, [&] {
            GVariant* r = g_dbus_connection_call_sync(
                session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
                nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
            if (r)
                g_variant_unref(r);
        });
        std::printf(
            "| %d | %.0f / %.0f us | %.0f us | %.2fx | %.0f / %.0f us | %.0f us | %.2fx |\n", count,
            tick.median, tick.max, listing.median, tick.median / listing.median, round.median,
            round.max, trip.median, round.median / trip.median);
    }
    g_object_unref(session);
    return reports > 0 ? 0 : 1;
}
