// The Linux effects of the cleanup steps on prepared home folders, the batch files started with
// /bin/sh, and the sandbox lines.
#include "control/session_cleanup.h"
#include "core/log.h"
#include "platform/actions.h"
#include "platform/fake/fake_control_ports.h"
#include "platform/fake/memory_hive.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/control_platform.h"
#include "platform/linux/linux_desktop_profile.h"
#include "platform/linux/posix_spawner.h"
#include "platform/sandbox/sandbox_control.h"
#include "tests/control2/linux_rig.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace tlv {
namespace {

using test::readFile;
using test::writeFile;

struct Home {
    test::TempRoot root;
    std::string home = root.path();
    std::vector<std::vector<std::string>> tools;
    LinuxDesktopProfile profile;
    explicit Home(Environment env = {})
        : profile(root.path(), std::move(env), [this](const std::vector<std::string>& argv) {
              tools.push_back(argv);
              return true;
          }) {}
    std::string put(const std::string& rel, const std::string& content) {
        const fs::path p = fs::path(home) / rel;
        fs::create_directories(p.parent_path());
        writeFile(p.string(), content);
        return p.string();
    }
    bool has(const std::string& rel) const { return fs::exists(fs::path(home) / rel); }
};

void sql(const std::string& db, const std::string& statements) {
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(h, statements.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(h);
    sqlite3_close(h);
}

std::string query(const std::string& db, const std::string& select) {
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    std::string out;
    sqlite3_exec(
        h, select.c_str(),
        [](void* o, int n, char** v, char**) {
            auto& s = *static_cast<std::string*>(o);
            for (int i = 0; i < n; ++i)
                s += std::string(v[i] ? v[i] : "NULL") + (i + 1 < n ? "," : ";");
            return 0;
        },
        &out, nullptr);
    sqlite3_close(h);
    return out;
}

// Fake desktop tools early in PATH, so that the profile finds them (they are never run here).
struct FakeTools {
    test::TempRoot bin;
    std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    FakeTools() {
        for (const char* t : {"gsettings", "xfdesktop"}) {
            writeFile(bin.file(t), "#!/bin/sh\n");
            fs::permissions(bin.file(t), fs::perms::owner_all);
        }
        setenv("PATH", (bin.path() + ":" + savedPath).c_str(), 1);
    }
    ~FakeTools() { setenv("PATH", savedPath.c_str(), 1); }
};

TEST(LinuxProfile, RecentDocumentsEmptied) {
    Home h;
    const auto p = h.put(".local/share/recently-used.xbel",
                         "<xbel><bookmark href=\"file:///home/x/secret.pdf\"/></xbel>");
    h.profile.clearRecentDocuments();
    const std::string text = readFile(p);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_NE(text.find("<xbel"), std::string::npos);
    Home none;
    none.profile.clearRecentDocuments();
    EXPECT_FALSE(none.has(".local/share/recently-used.xbel")) << "nothing created";
}

TEST(LinuxProfile, WallpaperThroughTheDesktopsOwnSettingRemovedWhenEmpty) {
    FakeTools tools;
    Home gnome(Environment{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}});
    gnome.profile.setWallpaper("/data/Talvor Client/background_image");
    ASSERT_EQ(gnome.tools.size(), 3u);
    EXPECT_EQ(gnome.tools[0],
              (std::vector<std::string>{tools.bin.file("gsettings"), "set",
                                        "org.gnome.desktop.background", "picture-uri",
                                        "file:///data/Talvor%20Client/background_image"}));
    gnome.tools.clear();
    gnome.profile.setWallpaper("");
    EXPECT_EQ(gnome.tools[0].back(), "");
    EXPECT_EQ(gnome.tools[2].back(), "none");

    Home plain;
    plain.profile.setWallpaper("/x");
    EXPECT_TRUE(plain.tools.empty()) << "no desktop setting found: nothing";
}

TEST(LinuxProfile, ArrangeIconsWhereTheDesktopSupportsIt) {
    FakeTools tools;
    Home xfce(Environment{{"XDG_CURRENT_DESKTOP", "XFCE"}});
    xfce.profile.arrangeIcons();
    EXPECT_EQ(xfce.tools,
              (std::vector<std::vector<std::string>>{{tools.bin.file("xfdesktop"), "--arrange"}}));
    Home gnome(Environment{{"XDG_CURRENT_DESKTOP", "GNOME"}});
    gnome.profile.arrangeIcons();
    EXPECT_TRUE(gnome.tools.empty());
}

TEST(LinuxProfile, StartPageInFirefoxAndChromiumProfiles) {
    Home h;
    h.put(".mozilla/firefox/profiles.ini",
          "[General]\nStartWithLastProfile=1\n\n[Profile0]\nName=default\nIsRelative=1\n"
          "Path=abcd.default\n");
    const auto userJs = h.put(".mozilla/firefox/abcd.default/user.js",
                              "user_pref(\"browser.startup.homepage\", \"http://old/\");\n"
                              "user_pref(\"other.pref\", 5);\n");
    const auto prefs = h.put(".config/chromium/Default/Preferences",
                             "{\"homepage\":\"http://old/\",\"keep\":{\"a\":1}}");
    h.profile.setStartPage("http://start.example/?a=\"b\"");
    const std::string js = readFile(userJs);
    EXPECT_EQ(js.find("http://old/"), std::string::npos);
    EXPECT_NE(js.find("user_pref(\"other.pref\", 5);"), std::string::npos);
    EXPECT_NE(js.find("user_pref(\"browser.startup.homepage\", "
                      "\"http://start.example/?a=\\\"b\\\"\");"),
              std::string::npos);
    const std::string json = readFile(prefs);
    EXPECT_NE(json.find("\"homepage\":\"http://start.example/?a=\\\"b\\\"\""), std::string::npos);
    EXPECT_NE(json.find("\"keep\":{\"a\":1}"), std::string::npos);
    EXPECT_NE(json.find("\"restore_on_startup\":4"), std::string::npos);

    h.put(".config/chromium/Default/Preferences", "{not json");
    EXPECT_THROW(h.profile.setStartPage("http://x/"), std::exception)
        << "a damaged file is left alone and the failure reported";
    EXPECT_EQ(readFile(prefs), "{not json");
}

TEST(LinuxProfile, CacheDeletedHistoryClearedBookmarksKept) {
    Home h;
    h.put(".mozilla/firefox/profiles.ini", "[Profile0]\nPath=p1\n");
    h.put(".cache/mozilla/firefox/p1/cache2/entries/X", "cached");
    h.put(".cache/chromium/Default/Cache/data_0", "cached");
    h.put(".config/chromium/Default/Bookmarks", "{}");
    h.put(".config/chromium/Default/Current Session", "tabs");
    h.put(".mozilla/firefox/p1/sessionstore.jsonlz4", "tabs");
    const std::string places = h.home + "/.mozilla/firefox/p1/places.sqlite";
    sql(places, "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url TEXT, visit_count INTEGER, "
                "last_visit_date INTEGER);"
                "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, place_id INTEGER);"
                "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, fk INTEGER, title TEXT);"
                "INSERT INTO moz_places VALUES(1,'https://bookmarked.example/',3,99),"
                "(2,'https://visited.example/',1,98);"
                "INSERT INTO moz_historyvisits VALUES(1,1),(2,2);"
                "INSERT INTO moz_bookmarks VALUES(1,NULL,'menu'),(2,1,'Bookmarked');");
    const std::string history = h.home + "/.config/chromium/Default/History";
    sql(history, "CREATE TABLE urls(id INTEGER PRIMARY KEY, url TEXT);"
                 "CREATE TABLE visits(id INTEGER PRIMARY KEY, url INTEGER);"
                 "INSERT INTO urls VALUES(1,'https://visited.example/');"
                 "INSERT INTO visits VALUES(1,1);");
    h.profile.deleteBrowserCache();
    EXPECT_FALSE(h.has(".cache/mozilla"));
    EXPECT_FALSE(h.has(".cache/chromium"));
    h.profile.deleteBrowserHistory();
    EXPECT_EQ(query(places, "SELECT id, url, visit_count, last_visit_date FROM moz_places"),
              "1,https://bookmarked.example/,0,NULL;");
    EXPECT_EQ(query(places, "SELECT count(*) FROM moz_historyvisits"), "0;");
    EXPECT_EQ(query(places, "SELECT count(*) FROM moz_bookmarks"), "2;");
    EXPECT_EQ(query(history, "SELECT count(*) FROM urls"), "0;");
    EXPECT_EQ(query(history, "SELECT count(*) FROM visits"), "0;");
    EXPECT_TRUE(h.has(".config/chromium/Default/Bookmarks"));
    EXPECT_FALSE(h.has(".config/chromium/Default/Current Session"));
    EXPECT_FALSE(h.has(".mozilla/firefox/p1/sessionstore.jsonlz4"));
}

TEST(LinuxProfile, MessengerFilesGoneSubfoldersKept) {
    Home h;
    h.put(".gaim/accounts.xml", "login");
    h.put(".gaim/logs/old.txt", "log");
    h.put(".purple/accounts.xml", "login");
    h.put(".purple/blist.xml", "buddies");
    h.profile.clearMessengerData();
    EXPECT_FALSE(h.has(".gaim/accounts.xml"));
    EXPECT_TRUE(h.has(".gaim/logs/old.txt"));
    EXPECT_FALSE(h.has(".purple/accounts.xml"));
    EXPECT_FALSE(h.has(".purple/blist.xml"));
    EXPECT_FALSE(h.profile.hasYahooMessenger());
    fs::create_directories(h.home + "/Yahoo! Messenger");
    EXPECT_TRUE(h.profile.hasYahooMessenger());
}

// The batch file with /bin/sh: each argument reaches the script unchanged, nothing else runs.
TEST(PosixSpawner, HostileLoginIsOneUnchangedArgument) {
    test::TempRoot tmp;
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    Logger log(clock, tmp.file("tlvcli.log"));
    PosixSpawner spawner(scheduler);
    MemoryHive user;
    HiveProfileRegistry registry(user);
    FakeDesktopProfile profile;
    FakeWindowSystem windows;
    SessionCleanup cleanup(registry, profile, windows, spawner, log);
    writeFile(tmp.file("session_batch_start.bat"),
              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args.out\"\n");
    const std::string hostile = "x; touch '" + tmp.file("PWNED1") + "' & $(touch " +
                                tmp.file("PWNED2") + ") \"q\" 'r' `id`";
    const struct {
        std::string user;
        std::string expected;
    } cases[] = {
        {"77", "77\nsrv\npc01\n"},
        {hostile, hostile + "\nsrv\npc01\n"},
        {"", "pc01\nsrv\npc01\n"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(tmp.file("args.out"));
        cleanup.setContextProvider([&] {
            SessionContext ctx;
            ctx.dataFolder = tmp.path();
            ctx.userId = c.user;
            ctx.serverName = "srv";
            ctx.workstationName = "pc01";
            return ctx;
        });
        cleanup.subRunSessionStartBatch();
        for (int i = 0; i < 300 && spawner.runningChildren() > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            scheduler.advance(1000); // the reaper
        }
        EXPECT_EQ(spawner.runningChildren(), 0u);
        EXPECT_EQ(readFile(tmp.file("args.out")), c.expected);
    }
    EXPECT_FALSE(fs::exists(tmp.file("PWNED1")));
    EXPECT_FALSE(fs::exists(tmp.file("PWNED2")));
}

TEST(PosixSpawner, WindowStylesOtherThanHiddenOpenATerminal) {
    test::TempRoot tmp;
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    writeFile(tmp.file("term"), "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                                    tmp.file("term.out") + "\"\n");
    fs::permissions(tmp.file("term"), fs::perms::owner_all);
    PosixSpawner spawner(scheduler, tmp.file("term"));
    for (int mode : {0, 1}) {
        ASSERT_TRUE(spawner.spawnScript({tmp.file("none.bat"), {"77", "srv", "pc01"}, mode, ""}));
        for (int i = 0; i < 300 && spawner.runningChildren() > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            scheduler.advance(1000);
        }
    }
    EXPECT_EQ(readFile(tmp.file("term.out")),
              "-e\n/bin/sh\n" + tmp.file("none.bat") + "\n77\nsrv\npc01\n")
        << "only the visible style went through the terminal";
    EXPECT_FALSE(PosixSpawner(scheduler).spawn({"/nonexistent/program"}) > 0);
}

TEST(Sandbox, ActionsLogLines) {
    test::TempRoot tmp;
    VirtualClock clock;
    ActionLog actions(tmp.file("actions.log"), clock);
    FakeWindowSystem real;
    SandboxWindowSystem windows(real, actions);
    SandboxTerminator terminator(actions);
    SandboxSpawner spawner(actions);
    SandboxDesktopProfile profile(actions, "/home/guest");
    windows.requestClose(5, 42, "gedit", "Letter");
    terminator.terminate(42, "/usr/bin/gedit", "gedit");
    spawner.spawnScript({"/d/session_batch_start.bat",
                         {"77", "srv", "pc01"},
                         0,
                         "\"/d/session_batch_start.bat\" 77 srv pc01"});
    profile.setWallpaper("");
    profile.setStartPage("http://s/");
    EXPECT_EQ(readFile(tmp.file("actions.log")),
              "0\tclosewindow\t42\tgedit\tLetter\n"
              "0\tterminate\t42\tgedit\n"
              "0\trun\t\"/d/session_batch_start.bat\" 77 srv pc01\t0\n"
              "0\tcleanup\twallpaper\t\n"
              "0\tcleanup\tstartpage\thttp://s/\n");
    EXPECT_TRUE(real.closeRequests.empty());
}

} // namespace
} // namespace tlv

namespace tlv {
namespace {

TEST(ControlPlatform, SandboxModeRecordsInsteadOfActing) {
    test::TempRoot tmp;
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    const Environment env = {{"TLVCLI_ROOT", tmp.path()}, {"TLVCLI_SANDBOX", "1"}};
    const RuntimeLayout layout = RuntimeLayout::fromEnvironment(env, tmp.path());
    ActionLog actions(layout.actionsLog, clock);
    ControlPlatform p = makeControlPlatform(layout, env, scheduler, actions);
    test::Child sleeper({"sleep", "30"});
    EXPECT_TRUE(p.terminator->terminate(sleeper.pid(), "/usr/bin/sleep", "sleep"));
    EXPECT_FALSE(sleeper.waitExit(200)) << "recorded, not done";
    p.spawner->spawnScript({"/nonexistent.bat", {"a"}, 1, "\"/nonexistent.bat\" a"});
    p.profile->deleteBrowserHistory();
    EXPECT_EQ(readFile(layout.actionsLog),
              "0\tterminate\t" + std::to_string(sleeper.pid()) + "\tsleep\n" +
                  "0\trun\t\"/nonexistent.bat\" a\t1\n0\tcleanup\tbrowserhistory\t-\n");
}

} // namespace
} // namespace tlv
