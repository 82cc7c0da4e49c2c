#include "core/log.h"
#include "core/settings.h"
#include "platform/fake/fake_autostart.h"
#include "platform/fake/fake_system_info.h"
#include "platform/fake/memory_hive.h"
#include "platform/fake/virtual_time.h"
#include "platform/linux/sqlite_hive.h"
#include "platform/paths.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>

namespace tlv {
namespace {

namespace fs = std::filesystem;

// The same registry behaviour from the real hive and the test fake.
class HiveContract : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "sqlite")
            m_hive = std::make_unique<SqliteHive>(m_root.file("hive/HKLM.db"));
        else
            m_hive = std::make_unique<MemoryHive>();
    }
    Hive& hive() { return *m_hive; }
    test::TempRoot m_root;
    std::unique_ptr<Hive> m_hive;
};

TEST_P(HiveContract, ValuesOfEveryTypeRoundTrip) {
    const RegValue cases[] = {
        RegValue::sz("192.168.1.10"),
        RegValue::sz(""),
        RegValue::sz(std::string("a\0b\r\n\xc3\xa9", 7)), // NUL and line breaks survive
        RegValue::dw(0),
        RegValue::dw(0xFFFFFFFF),
        RegValue::dw(30),
        RegValue::bin({}),
        RegValue::bin({0, 1, 0xFE, 0xFF}),
    };
    int i = 0;
    for (const auto& v : cases) {
        const std::string name = "v" + std::to_string(i++);
        ASSERT_TRUE(hive().set("Software\\Talvor Client\\Server", name, v)) << name;
        EXPECT_EQ(hive().get("Software\\Talvor Client\\Server", name), v) << name;
    }
    // Overwriting changes the type too.
    hive().set("Software\\Talvor Client\\Server", "v0", RegValue::dw(4700));
    EXPECT_EQ(hive().get("Software\\Talvor Client\\Server", "v0"), RegValue::dw(4700));
    EXPECT_FALSE(hive().get("Software\\Talvor Client\\Server", "missing"));
    EXPECT_FALSE(hive().get("Software\\Nowhere", "v0"));
}

TEST_P(HiveContract, CaseInsensitiveNamesKeepTheFirstWrittenCase) {
    hive().set("Software\\Talvor Client\\General", "Start Delay", RegValue::sz("30"));
    hive().set("SOFTWARE\\talvor client\\GENERAL", "start delay", RegValue::sz("12"));
    EXPECT_EQ(hive().get("software\\Talvor Client\\general", "START DELAY"), RegValue::sz("12"));
    const auto vals = hive().values("software\\talvor client\\general");
    ASSERT_EQ(vals.size(), 1u);
    EXPECT_EQ(vals[0].name, "Start Delay");
    EXPECT_EQ(hive().subKeys("SOFTWARE"), std::vector<std::string>{"Talvor Client"});
    EXPECT_TRUE(hive().keyExists("\\Software\\\\Talvor Client\\"));
}

TEST_P(HiveContract, KeysExistWithParentsAndDeleteWithChildrenOnly) {
    EXPECT_FALSE(hive().keyExists("Software\\Talvor Client"));
    hive().createKey("Software\\Talvor Client\\Empty");
    EXPECT_TRUE(hive().keyExists("Software\\Talvor Client\\Empty"));
    EXPECT_TRUE(hive().keyExists("Software\\Talvor Client"));
    EXPECT_TRUE(hive().keyExists("Software"));
    hive().set("Software\\Talvor Client\\Server\\Deep", "x", RegValue::dw(1));
    hive().set("Software\\Talvor Client\\Server2", "y", RegValue::dw(2));
    auto subs = hive().subKeys("Software\\Talvor Client");
    EXPECT_EQ(std::set<std::string>(subs.begin(), subs.end()),
              (std::set<std::string>{"Empty", "Server", "Server2"}));
    EXPECT_TRUE(hive().removeKey("software\\talvor client\\server"));
    EXPECT_FALSE(hive().keyExists("Software\\Talvor Client\\Server\\Deep"));
    EXPECT_FALSE(hive().get("Software\\Talvor Client\\Server\\Deep", "x"));
    EXPECT_EQ(hive().get("Software\\Talvor Client\\Server2", "y"), RegValue::dw(2));
    EXPECT_TRUE(hive().remove("Software\\Talvor Client\\Server2", "Y"));
    EXPECT_FALSE(hive().remove("Software\\Talvor Client\\Server2", "y"));
    EXPECT_TRUE(hive().keyExists("Software\\Talvor Client\\Server2")); // the key stays
    EXPECT_TRUE(hive().flush());
}

INSTANTIATE_TEST_SUITE_P(BothHives, HiveContract, ::testing::Values("sqlite", "memory"));

TEST(SqliteHive, WritesSurviveReopenAndFlushEmptiesTheJournal) {
    test::TempRoot root;
    const std::string path = root.file("a/b/HKLM.db"); // folders are created
    {
        SqliteHive h(path);
        EXPECT_EQ(h.mode(), SqliteHive::Mode::ReadWrite);
        EXPECT_EQ(h.openProblem(), "");
        h.set("Software\\Talvor Client\\Server", "Port", RegValue::sz("4700"));
        h.createKey("Software\\Talvor Client\\Empty Key");
        EXPECT_GT(fs::file_size(path + "-wal"), 0u);
        EXPECT_TRUE(h.flush());
        EXPECT_EQ(fs::file_size(path + "-wal"), 0u);
        EXPECT_EQ(h.integrityCheck(), "ok");
    }
    SqliteHive h(path);
    EXPECT_EQ(h.get("SOFTWARE\\TALVOR CLIENT\\SERVER", "port"), RegValue::sz("4700"));
    EXPECT_TRUE(h.keyExists("Software\\Talvor Client\\Empty Key"));
    EXPECT_EQ(h.subKeys("Software\\Talvor Client"),
              (std::vector<std::string>{"Empty Key", "Server"}));
}

// A child writes values as fast as it can and reports each committed one through a pipe; the
// parent kills it in the middle of the burst. Nothing reported may be missing afterwards.
TEST(SqliteHive, KilledWriterLosesNoCommittedWrite) {
    test::TempRoot root;
    const std::string path = root.file("HKLM.db");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        SqliteHive h(path);
        for (uint32_t i = 0;; ++i) {
            const std::string key = "Software\\Burst\\K" + std::to_string(i % 7);
            if (!h.set(key, "v" + std::to_string(i), RegValue::dw(i)))
                _exit(3);
            if (write(fds[1], &i, sizeof i) != sizeof i)
                _exit(4);
        }
    }
    close(fds[1]);
    std::vector<uint32_t> committed;
    uint32_t v = 0;
    while (committed.size() < 150 && read(fds[0], &v, sizeof v) == sizeof v)
        committed.push_back(v);
    kill(pid, SIGKILL);
    // Reports already in the pipe were committed too.
    while (read(fds[0], &v, sizeof v) == sizeof v)
        committed.push_back(v);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended on its own, status " << status;
    ASSERT_GE(committed.size(), 150u);

    SqliteHive h(path);
    EXPECT_EQ(h.mode(), SqliteHive::Mode::ReadWrite);
    EXPECT_EQ(h.integrityCheck(), "ok");
    for (uint32_t i : committed)
        EXPECT_EQ(h.get("Software\\Burst\\K" + std::to_string(i % 7), "v" + std::to_string(i)),
                  RegValue::dw(i))
            << i;
}

struct BadFileCase {
    const char* what;
    std::function<void(RuntimeLayout& layout)> make;
    const char* problem; // part of the log line
};

TEST(SqliteHive, BadHiveFilesGiveALogLineAndTheDefaults) {
    const BadFileCase cases[] = {
        {"garbage",
         [](RuntimeLayout& l) { test::writeFile(l.machineHive, std::string(8192, 'x')); },
         "file is not a database"},
        {"directory", [](RuntimeLayout& l) { fs::create_directories(l.machineHive); },
         "unable to open"},
        {"parent is a file",
         [](RuntimeLayout& l) {
             test::writeFile(l.machineRoot + "/afile", "x");
             l.machineHive = l.machineRoot + "/afile/HKLM.db";
         },
         "cannot create the folder"},
    };
    for (const auto& c : cases) {
        test::TempRoot root;
        auto layout = RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", root.file("m")}}, "/opt/tlv");
        fs::create_directories(root.file("m"));
        c.make(layout);
        const std::string before =
            fs::is_regular_file(layout.machineHive) ? test::readFile(layout.machineHive) : "";

        VirtualClock clock;
        Logger log(clock, root.file("tlvcli.log"));
        auto hives = openHives(layout, [&](const std::string& ctx, int n, const std::string& d) {
            log.subLogError(ctx, n, d);
        });
        EXPECT_EQ(hives.machine->mode(), SqliteHive::Mode::InMemory) << c.what;
        EXPECT_EQ(hives.user->mode(), SqliteHive::Mode::ReadWrite) << c.what;
        const std::string text = test::readFile(root.file("tlvcli.log"));
        EXPECT_NE(text.find("SqliteHive.openMachineHive: #75 | " + layout.machineHive + ": "),
                  std::string::npos)
            << c.what << "\n"
            << text;
        EXPECT_NE(text.find(c.problem), std::string::npos) << c.what << "\n" << text;

        // The client still starts on its defaults, and the bad file is left as it was.
        FakeSystemInfo sys;
        FakeAutostart autostart;
        SettingsStore store(*hives.machine, *hives.user, log, sys, layout, autostart, "k");
        EXPECT_EQ(store.funInitSettings(4), 4);
        ConstWksn consts;
        consts.wksnHeartBeatCheck = 0;
        store.subGetConstWksn(consts);
        EXPECT_EQ(consts.wksnHeartBeatCheck, 30);
        SystemSettings s;
        store.subGetSystemSettings(s, consts);
        EXPECT_EQ(s.serverPort, "4646") << c.what;
        store.SetRegSettings(kSettingsAppName, "Server", "Port", "4700", REG_SZ);
        store.RegFlushKey();
        if (!before.empty()) {
            EXPECT_EQ(test::readFile(layout.machineHive), before) << c.what;
        }
    }
}

// Checks run as a user the file permissions bind; 0 when all hold, else the failed check.
int permissionChecks(const std::string& path) {
    {
        SqliteHive h(path); // 0444: readable, not writable
        if (h.mode() != SqliteHive::Mode::ReadOnly || h.openProblem().empty())
            return 1;
        if (h.get("Software\\X", "a") != RegValue::dw(1))
            return 2;
        if (h.set("Software\\X", "b", RegValue::dw(2)) || h.lastError().empty())
            return 3;
    }
    return 0;
}

int unreadableChecks(const std::string& path) {
    SqliteHive h(path); // 0000
    if (h.mode() != SqliteHive::Mode::InMemory ||
        h.openProblem().find("unable to open") == std::string::npos)
        return 4;
    if (!h.set("Software\\X", "c", RegValue::dw(3)) || h.get("Software\\X", "a"))
        return 5; // works on in memory, shows none of the file
    return 0;
}

// Root reads every file, so the checks run in a child that has become "nobody".
int asUnprivileged(const std::function<int()>& checks) {
    if (geteuid() != 0)
        return checks();
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(100);
        _exit(checks());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(SqliteHive, ReadOnlyFileRefusesWritesAndUnreadableFileIsReported) {
    test::TempRoot root;
    chmod(root.path().c_str(), 0755);
    const std::string path = root.file("HKLM.db");
    {
        SqliteHive h(path);
        h.set("Software\\X", "a", RegValue::dw(1));
        h.flush();
    }
    // Switched out of WAL so that a reader without write access needs no shared-memory file.
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    chmod(path.c_str(), 0444);
    EXPECT_EQ(asUnprivileged([&] { return permissionChecks(path); }), 0);
    chmod(path.c_str(), 0);
    EXPECT_EQ(asUnprivileged([&] { return unreadableChecks(path); }), 0);
    chmod(path.c_str(), 0600);
}

} // namespace
} // namespace tlv
