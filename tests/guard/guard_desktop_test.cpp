// Staff end a guarded client the way they do, on a real desktop: the lock screen's gesture and
// the deactivation password, Activate, then the main window's Quit and the quit password. A wrong
// password releases nothing; the right one does, and the guard then lets the client end.
#include "core/scramble.h"
#include "core/settings.h"
#include "core/string_table.h"
#include "platform/linux/sqlite_hive.h"
#include "tests/guard/guard_rig.h"
#include "tests/support/desktop.h"

#include <gtest/gtest.h>

#include <thread>

namespace tlv::test {
namespace {

constexpr const char* kPassword = "Staff-7";

TEST(GuardDesktop, StaffDeactivateAndQuitBehindThePasswordAreHonoured) {
    Desktop desk;
    ASSERT_TRUE(desk.ready());
    GuardRig rig;
    ASSERT_TRUE(rig.startSimulator());
    const std::string dir = rig.addSession("d1", "GW-desk");
    {
        // The administrator password as the options dialog stores it (current settings).
        SqliteHive hive(dir + "/HKLM.db");
        const std::string general = SettingsStore::keyPath(kSettingsAppName, "General");
        ASSERT_TRUE(hive.set(general, "Current Settings Version", RegValue::sz("4")));
        ASSERT_TRUE(hive.set(general, "Password",
                             RegValue::sz(funDoXOR(kPassword, builtinString(kStrPasswordKey)))));
    }
    rig.sessionEnv["d1"] = desk.env();
    rig.writeSessions();
    ASSERT_TRUE(rig.startGuard());
    const auto logHas = [&rig](const std::string& text) {
        return rig.guardLog().find(text) != std::string::npos;
    };
    // The password dialogs open with the focus in their password box.
    const auto password = [&desk](const std::string& title, const std::string& text) {
        if (desk.waitWindow(title, 10000) == 0)
            return false;
        desk.type(text);
        desk.key("Return");
        return true;
    };
    // A button of the main window, by its place in the window (Activate, Shutdown, Quit).
    const auto mainButton = [&desk](int pid, int percentX) {
        const std::vector<unsigned long> w = desk.windows("^Talvor Client$", pid);
        if (w.size() != 1)
            return false;
        const Desktop::Rect r = desk.geometry(w.front());
        desk.click(r.x + r.width * percentX / 100, r.y + r.height * 76 / 100);
        return true;
    };

    // The lock screen; the about box of the start-up closes itself.
    ASSERT_NE(desk.waitWindow("^Talvor Client$", 30000), 0ul) << rig.diagnostics();
    std::this_thread::sleep_for(std::chrono::seconds(13));

    // The gesture and a wrong password: nothing released.
    desk.key("ctrl+alt+Return");
    ASSERT_TRUE(password("Deactivation", "wrong"));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_FALSE(logHas("released by staff")) << rig.guardLog();

    // The right one: deactivated, and the guard hears of it from the client it started.
    ASSERT_TRUE(password("Deactivation", kPassword));
    ASSERT_TRUE(waitFor([&] { return logHas("session d1: released by staff (deactivated)"); }, 10))
        << rig.diagnostics() << readFile(dir + "/ProgramData/Talvor Client/tlvcli.log")
        << readFile(dir + "/actions.log");

    // Activated from the main window: guarded again.
    const int pid = rig.clients()["d1"];
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(waitFor([&] { return mainButton(pid, 20); }, 10));
    ASSERT_TRUE(waitFor([&] { return logHas("session d1: back in service, guarded again"); }, 10))
        << rig.diagnostics();

    // Deactivated again, then Quit behind the quit password: the client ends, the guard lets it.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    desk.key("ctrl+alt+Return");
    ASSERT_TRUE(password("Deactivation", kPassword));
    ASSERT_TRUE(waitFor(
        [&] {
            const std::string log = rig.guardLog();
            return log.rfind("released by staff") > log.find("guarded again");
        },
        10))
        << rig.diagnostics();
    ASSERT_TRUE(waitFor([&] { return mainButton(pid, 84); }, 10));
    ASSERT_TRUE(password("Quit$", kPassword));
    ASSERT_TRUE(waitFor([&] { return logHas("restart refused: released by staff"); }, 15))
        << rig.diagnostics();
    EXPECT_TRUE(logHas("client " + std::to_string(pid) + " ended (exit 0")) << rig.guardLog();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(rig.clients().count("d1"), 0u);
}

} // namespace
} // namespace tlv::test
