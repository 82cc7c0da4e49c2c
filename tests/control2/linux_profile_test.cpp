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
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
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

// What a customer leaves in each packaging of the browsers (classic, Snap, Flatpak): caches,
// history with downloads, sessions, local and session storage go; cookies and bookmarks stay.
TEST(LinuxProfile, CacheHistorySessionsAndStorageOfEveryPackaging) {
    struct Layout {
        const char* name;
        std::string firefox, chromium, cache;
    } layouts[] = {
        {"classic", ".mozilla/firefox", ".config/chromium", ".cache/mozilla/firefox/p1"},
        {"snap", "snap/firefox/common/.mozilla/firefox", "snap/chromium/common/chromium",
         "snap/firefox/common/.cache/mozilla/firefox/p1"},
        {"flatpak", ".var/app/org.mozilla.firefox/.mozilla/firefox",
         ".var/app/org.chromium.Chromium/config/chromium",
         ".var/app/org.mozilla.firefox/cache/mozilla/firefox/p1"},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        Home h;
        const std::string ff = l.firefox + "/p1/", ch = l.chromium + "/Default/";
        h.put(l.firefox + "/profiles.ini", "[Profile0]\nName=default\nIsRelative=1\nPath=p1\n");
        h.put(l.cache + "/cache2/entries/X", "cached");
        const std::vector<std::string> gone = {
            ff + "cache2/entries/Y",
            ff + "sessionstore.jsonlz4",
            ff + "sessionstore-backups/recovery.jsonlz4",
            ff + "storage/default/https+++visited.example/ls/data.sqlite",
            ch + "Cache/Cache_Data/data_0",
            ch + "Current Session",
            ch + "Sessions/Session_13300000000000000",
            ch + "Local Storage/leveldb/000003.log",
            ch + "Session Storage/000003.log",
            ch + "IndexedDB/https_visited.example_0/x"};
        const std::vector<std::string> kept = {ff + "cookies.sqlite", ch + "Cookies",
                                               ch + "Bookmarks"};
        for (const auto& f : gone)
            h.put(f, "trace");
        for (const auto& f : kept)
            h.put(f, "kept");
        sql(h.home + "/" + ff + "places.sqlite",
            "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url TEXT, visit_count INTEGER, "
            "last_visit_date INTEGER);"
            "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, place_id INTEGER);"
            "CREATE TABLE moz_annos(id INTEGER PRIMARY KEY, place_id INTEGER, content TEXT);"
            "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, fk INTEGER);"
            "INSERT INTO moz_places VALUES(1,'https://visited.example/file.pdf',1,9);"
            "INSERT INTO moz_historyvisits VALUES(1,1);"
            "INSERT INTO moz_annos VALUES(1,1,'file:///home/guest/Downloads/file.pdf');");
        sql(h.home + "/" + ch + "History",
            "CREATE TABLE urls(id INTEGER PRIMARY KEY, url TEXT);"
            "CREATE TABLE downloads(id INTEGER PRIMARY KEY, target_path TEXT);"
            "INSERT INTO urls VALUES(1,'https://visited.example/');"
            "INSERT INTO downloads VALUES(1,'/home/guest/Downloads/file.pdf');");
        EXPECT_EQ(h.profile.firefoxProfiles(),
                  std::vector<std::string>{h.home + "/" + l.firefox + "/p1"});
        h.profile.deleteBrowserCache();
        h.profile.deleteBrowserHistory();
        for (const auto& f : gone)
            EXPECT_FALSE(h.has(f)) << f;
        for (const auto& f : kept)
            EXPECT_TRUE(h.has(f)) << f;
        EXPECT_FALSE(h.has(l.cache));
        EXPECT_EQ(query(h.home + "/" + ff + "places.sqlite",
                        "SELECT (SELECT count(*) FROM moz_places) + (SELECT count(*) FROM "
                        "moz_annos)"),
                  "0;");
        EXPECT_EQ(query(h.home + "/" + ch + "History",
                        "SELECT (SELECT count(*) FROM urls) + (SELECT count(*) FROM downloads)"),
                  "0;");
    }
}

TEST(LinuxProfile, RecentFilesThumbnailsTrashAndDownloadsEmptied) {
    Home h;
    h.put(".local/share/recently-used.xbel", "<xbel><bookmark href=\"file:///x.pdf\"/></xbel>");
    h.put(".local/share/Trash/files/letter.odt", "deleted");
    h.put(".local/share/Trash/info/letter.odt.trashinfo", "[Trash Info]");
    h.put(".cache/thumbnails/large/0123.png", "png");
    h.put(".config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                    "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n");
    h.put("Fetched/ticket.pdf", "pdf");
    h.put("Fetched/album/photo.jpg", "jpg");
    h.put("Downloads/not-the-downloads-folder.txt", "kept");
    h.profile.clearRecentDocuments();
    EXPECT_EQ(readFile(h.home + "/.local/share/recently-used.xbel").find("x.pdf"),
              std::string::npos);
    for (const char* f :
         {".local/share/Trash/files/letter.odt", ".local/share/Trash/info/letter.odt.trashinfo",
          ".cache/thumbnails/large", "Fetched/ticket.pdf", "Fetched/album"})
        EXPECT_FALSE(h.has(f)) << f;
    EXPECT_TRUE(h.has("Fetched")) << "the folder itself stays";
    EXPECT_TRUE(h.has(".local/share/Trash/files"));
    EXPECT_TRUE(h.has("Downloads/not-the-downloads-folder.txt"));

    // A downloads folder set to the home itself means none: the home is never emptied.
    Home same;
    same.put(".config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/\"\n");
    same.put("notes.txt", "kept");
    same.profile.clearRecentDocuments();
    EXPECT_TRUE(same.has("notes.txt"));
}

// Every part of the cleanup, on a home whose profiles point outside it, by path and by link.
TEST(LinuxProfile, NothingOutsideTheHomeIsDeletedOrWritten) {
    test::TempRoot root;
    const std::string home = root.path() + "/home/guest", victim = root.path() + "/victim";
    auto put = [](const std::string& p, const std::string& content) {
        fs::create_directories(fs::path(p).parent_path());
        writeFile(p, content);
    };
    for (const char* f :
         {"profile/places.sqlite", "profile/cache2/x", "profile/sessionstore.jsonlz4",
          "chrome/Default/Cache/data_0", "chrome/Default/Current Session",
          "chrome/Default/Preferences", "cache/mozilla/x", "downloads/keep.pdf", "trash/keep.odt",
          "recent.xbel", "gaim/accounts.xml", "other/places.sqlite"})
        put(victim + "/" + f, "victim's");
    put(home + "/.mozilla/firefox/profiles.ini",
        "[Profile0]\nIsRelative=1\nPath=../../../../victim/profile\n"
        "[Profile1]\nIsRelative=0\nPath=" +
            victim +
            "/other\n"
            "[Profile2]\nIsRelative=1\nPath=linked\n"
            "[Profile3]\nIsRelative=0\nPath=" +
            home + "/../../victim/profile\n");
    fs::create_directories(home + "/.config/chromium");
    fs::create_directories(home + "/.cache");
    fs::create_directories(home + "/.local/share/Trash");
    fs::create_symlink(victim + "/profile", home + "/.mozilla/firefox/linked");
    fs::create_symlink(victim + "/chrome/Default", home + "/.config/chromium/Default");
    fs::create_symlink(victim + "/cache/mozilla", home + "/.cache/mozilla");
    fs::create_symlink(victim + "/downloads", home + "/Downloads");
    fs::create_symlink(victim + "/trash", home + "/.local/share/Trash/files");
    fs::create_symlink(victim + "/recent.xbel", home + "/.local/share/recently-used.xbel");
    fs::create_symlink(victim + "/gaim", home + "/.gaim");
    fs::create_symlink(victim, home + "/snap");

    auto snapshot = [&] {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(victim))
            files[e.path().string()] = e.is_regular_file() ? readFile(e.path().string()) : "dir";
        return files;
    };
    const auto before = snapshot();
    LinuxDesktopProfile profile(home, {}, {});
    EXPECT_TRUE(profile.firefoxProfiles().empty());
    EXPECT_TRUE(profile.chromiumProfiles().empty());
    profile.setStartPage("http://start.example/");
    profile.deleteBrowserCache();
    profile.deleteBrowserHistory();
    profile.clearRecentDocuments();
    profile.clearMessengerData();
    EXPECT_EQ(snapshot(), before);
    // The links themselves are the home's: a link where a cache was is gone, the recent list
    // is a file of its own now.
    EXPECT_FALSE(fs::is_symlink(home + "/.cache/mozilla"));
    EXPECT_FALSE(fs::is_symlink(home + "/.local/share/recently-used.xbel"));
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

// Closing for real in sandbox mode (a test on a private display): windows are asked to close,
// and a process is ended only when it shows a window there; any other process of the user is
// recorded only, whatever a forbidden list names.
TEST(ControlPlatform, RealClosingEndsOnlyWhatShowsOnTheDisplay) {
    test::PrivateXvfb xvfb;
    if (!xvfb.running())
        GTEST_SKIP() << "Xvfb could not be started";
    test::TempRoot tmp;
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    const Environment env = {{"TLVCLI_ROOT", tmp.path()},
                             {"TLVCLI_SANDBOX", "1"},
                             {"TLVCLI_REAL_CLOSING", "1"},
                             {"DISPLAY", xvfb.display()}};
    const RuntimeLayout layout = RuntimeLayout::fromEnvironment(env, tmp.path());
    ActionLog actions(layout.actionsLog, clock);
    ControlPlatform p = makeControlPlatform(layout, env, scheduler, actions);
    const std::string program = test::besideTest("x_test_window");
    test::Child closes({program, "Letter", "close"}, {"DISPLAY=" + xvfb.display()});
    test::Child ignores({program, "Unsaved", "ignore"}, {"DISPLAY=" + xvfb.display()});
    test::Child sleeper({"sleep", "30"});
    std::map<int, uint64_t> shown;
    for (int i = 0; i < 1000 && !(shown.contains(closes.pid()) && shown.contains(ignores.pid()));
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const auto& w : p.windows->topLevelWindows())
            shown[w.pid] = w.id;
    }
    ASSERT_TRUE(shown.contains(closes.pid()) && shown.contains(ignores.pid()));

    EXPECT_TRUE(
        p.windows->requestClose(shown[closes.pid()], closes.pid(), "x_test_window", "Letter"));
    EXPECT_TRUE(closes.waitExit(5000)) << "the close request was sent";
    EXPECT_TRUE(p.terminator->terminate(ignores.pid(), program, "x_test_window"));
    ASSERT_TRUE(ignores.waitExit(5000));
    EXPECT_TRUE(ignores.killedBySignal(SIGKILL));
    EXPECT_FALSE(p.terminator->terminate(sleeper.pid(), "/usr/bin/sleep", "sleep"));
    EXPECT_FALSE(sleeper.waitExit(200)) << "no window on the display: recorded only";
    EXPECT_EQ(readFile(layout.actionsLog),
              "0\tclosewindow\t" + std::to_string(closes.pid()) + "\tx_test_window\tLetter\n" +
                  "0\tterminate\t" + std::to_string(ignores.pid()) + "\tx_test_window\n" +
                  "0\tterminate\t" + std::to_string(sleeper.pid()) + "\tsleep\n");
}

} // namespace
} // namespace tlv
