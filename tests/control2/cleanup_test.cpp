// subSessionCleanup's registry values and steps, and the batch hooks' arguments, on fakes.
#include "control/control_relay.h"
#include "control/session_cleanup.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/fake/fake_autostart.h"
#include "platform/fake/fake_control_ports.h"
#include "platform/fake/fake_system_info.h"
#include "platform/fake/memory_hive.h"
#include "platform/fake/virtual_time.h"
#include "platform/paths.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct CleanupRig {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    MemoryHive machine, user;
    FakeSystemInfo sys;
    FakeAutostart autostart;
    RuntimeLayout layout = RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", root.path()}}, "");
    SettingsStore store{machine, user, log, sys, layout, autostart, "key"};
    SettingsProfileRegistry registry{store};
    FakeDesktopProfile profile;
    FakeWindowSystem windows;
    FakeSpawner spawner;
    SessionCleanup cleanup{registry, profile, windows, spawner, log};
    SessionContext ctx;

    CleanupRig() {
        ctx.dataFolder = "/var/lib/talvor-client/ProgramData/Talvor Client";
        ctx.workstationName = "pc01";
        ctx.serverName = "srv";
        cleanup.setContextProvider([this] { return ctx; });
    }
    std::optional<RegValue> value(const std::string& key, const std::string& name) {
        return user.get(key, name);
    }
};

const char* kIeMain = "Software\\Microsoft\\Internet Explorer\\Main";

TEST(WindowPlacement, FivePercentRectangleRoundedHalfToEven) {
    const auto b = windowPlacementBytes(1024, 768);
    ASSERT_EQ(b.size(), 44u);
    const std::vector<uint8_t> head = {44,   0,    0,    0,    0,    0,    0,    0,    1,    0,
                                       0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 28), head);
    const std::vector<uint8_t> rect = {0x33, 0, 0, 0, 0x26, 0, 0, 0, 0xCD, 3, 0, 0, 0xDA, 2, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 28, b.end()), rect);
    // Exact halves go to the even neighbour: 10 x 5 % = 0.5, 30 x 5 % = 1.5, 50 x 95 % = 47.5.
    EXPECT_EQ(percentRoundedHalfEven(10, 5), 0);
    EXPECT_EQ(percentRoundedHalfEven(30, 5), 2);
    EXPECT_EQ(percentRoundedHalfEven(50, 95), 48);
    EXPECT_EQ(percentRoundedHalfEven(70, 95), 66); // 66.5
}

TEST(CleanupChoices, FlagsOnlyWhenExactlyOne) {
    const auto c = CleanupChoices::fromFields({"1", "0", "2", "01", "1", "http://s.example/", "1"});
    EXPECT_TRUE(c.arrangeIcons);
    EXPECT_FALSE(c.clearRecentDocuments);
    EXPECT_FALSE(c.resetWallpaper);
    EXPECT_FALSE(c.resetStartPage);
    EXPECT_TRUE(c.resetBrowser);
    EXPECT_EQ(c.startPage, "http://s.example/");
    EXPECT_TRUE(c.clearMessengerData);
    EXPECT_THROW(CleanupChoices::fromFields({"1", "1"}), std::exception);
}

TEST(SessionCleanup, AllStepsInOrderWithTheirRegistryValues) {
    CleanupRig r;
    r.ctx.backgroundImagePath = r.ctx.dataFolder + "/background_image";
    r.profile.yahoo = true;
    r.cleanup.setCleanupChoices(
        CleanupChoices::fromFields({"1", "1", "1", "1", "1", "http://start.example/", "1"}));
    r.cleanup.subSessionCleanup();
    EXPECT_EQ(r.profile.calls,
              (std::vector<std::string>{"arrangeIcons", "clearRecentDocuments",
                                        "setWallpaper " + r.ctx.backgroundImagePath,
                                        "setStartPage http://start.example/", "deleteBrowserCache",
                                        "deleteBrowserHistory", "clearMessengerData"}));
    EXPECT_EQ(r.value("Control panel\\Desktop", "Wallpaper"),
              RegValue::sz(r.ctx.backgroundImagePath));
    EXPECT_EQ(r.value(kIeMain, "Start Page"), RegValue::sz("http://start.example/"));
    EXPECT_EQ(
        r.value("Software\\Microsoft\\Internet Explorer\\International\\Scripts\\3", "IEFontSize"),
        RegValue::bin({2, 0, 0, 0}));
    EXPECT_EQ(r.value(kIeMain, "Window_Placement"), RegValue::bin(windowPlacementBytes(1024, 768)));
    EXPECT_EQ(r.value("Software\\Yahoo\\Pager", "Yahoo! User ID"), RegValue::sz(""));
}

TEST(SessionCleanup, AllowLockdownOffChangesNothingBatchStillRuns) {
    CleanupRig r;
    r.ctx.allowLockdown = false;
    r.cleanup.setCleanupChoices(
        CleanupChoices::fromFields({"1", "1", "1", "1", "1", "http://start.example/", "1"}));
    r.cleanup.subSessionCleanup();
    EXPECT_TRUE(r.profile.calls.empty());
    EXPECT_TRUE(r.user.subKeys("").empty() && r.user.values(kIeMain).empty());
    r.cleanup.subRunSessionStartBatch();
    EXPECT_EQ(r.spawner.requests.size(), 1u);
}

TEST(SessionCleanup, BrowserResetWithoutStartPageAndWallpaperRemoved) {
    CleanupRig r;
    r.cleanup.setCleanupChoices(
        CleanupChoices::fromFields({"0", "0", "1", "0", "1", "http://start.example/", "0"}));
    r.cleanup.subSessionCleanup();
    EXPECT_EQ(r.profile.calls, (std::vector<std::string>{"setWallpaper", "deleteBrowserCache",
                                                         "deleteBrowserHistory"}));
    EXPECT_EQ(r.value("Control panel\\Desktop", "Wallpaper"), RegValue::sz(""));
    EXPECT_FALSE(r.value(kIeMain, "Start Page"));
    EXPECT_TRUE(r.value(kIeMain, "Window_Placement"));
}

TEST(SessionCleanup, FailedCacheStepLoggedOthersGoOn) {
    CleanupRig r;
    r.profile.failOn = "deleteBrowserCache";
    r.cleanup.setCleanupChoices(CleanupChoices::fromFields({"0", "0", "0", "0", "1", "", "1"}));
    r.cleanup.subSessionCleanup();
    EXPECT_EQ(r.profile.calls.back(), "clearMessengerData");
    EXPECT_NE(test::readFile(r.root.file("tlvcli.log")).find("modIEHelper.subIEDeleteCacheError"),
              std::string::npos);
}

TEST(Batch, ArgumentsUserOrWorkstationServerWorkstation) {
    CleanupRig r;
    r.ctx.userId = "77";
    r.cleanup.setBatchStyle(3);
    r.cleanup.subRunSessionStartBatch();
    r.ctx.userId.clear();
    r.cleanup.subRunSessionEndBatch();
    ASSERT_EQ(r.spawner.requests.size(), 2u);
    const auto& s = r.spawner.requests[0];
    EXPECT_EQ(s.program, r.ctx.dataFolder + "/session_batch_start.bat");
    EXPECT_EQ(s.args, (std::vector<std::string>{"77", "srv", "pc01"}));
    EXPECT_EQ(s.showMode, 3);
    EXPECT_EQ(s.commandLine, "\"" + r.ctx.dataFolder + "/session_batch_start.bat\" 77 srv pc01");
    EXPECT_EQ(r.spawner.requests[1].program, r.ctx.dataFolder + "/session_batch_end.bat");
    EXPECT_EQ(r.spawner.requests[1].args, (std::vector<std::string>{"pc01", "srv", "pc01"}));
}

TEST(Batch, StartFailureLogged) {
    CleanupRig r;
    r.spawner.fail = true;
    r.cleanup.subRunSessionEndBatch();
    EXPECT_NE(
        test::readFile(r.root.file("tlvcli.log")).find("modFunctions.subRunSessionEndBatchError"),
        std::string::npos);
}

TEST(ControlRelay, NothingBeforeBindThenForwarded) {
    CleanupRig r;
    ControlRelay relay;
    relay.subRunSessionStartBatch();
    relay.subSessionCleanup();
    EXPECT_FALSE(relay.funCloseAllApps());
    relay.bind(nullptr, &r.cleanup, &r.cleanup);
    relay.subRunSessionEndBatch();
    ASSERT_EQ(r.spawner.requests.size(), 1u);
    EXPECT_EQ(r.spawner.requests[0].program, r.ctx.dataFolder + "/session_batch_end.bat");
}

} // namespace
} // namespace tlv
