// The real client in sandbox mode, killed with SIGKILL at random moments of self-service
// sessions run against tlvsim and started again each time: the hives stay sound, and at the next
// connection the client offers the session it had (SessionResume, not the same session), shows
// it ended (state 4) with the counters and amount it had saved, and the elapsed time it
// restores is within a second of the last one the server saw.
#include "link/message.h"
#include "tests/support/child_process.h"
#include "tests/support/sim_log.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tlv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kKills = 20;
// Per step, generous for a sanitizer build; the whole run stays bounded by their sum.
constexpr auto kConnectTimeout = std::chrono::seconds(30);
constexpr auto kStepTimeout = std::chrono::seconds(10);

using Event = test::SimEvent;

double seconds(const std::string& days) {
    return test::daysToSeconds(days);
}

// What a restarted client must offer: the session as last reported.
struct Saved {
    std::string id;
    double elapsed = 0;
    float amount = 0;
};

// A SessionResume payload: state#same#id#type#elapsed#connected#offpeak#disconnected#time#amount.
struct Resume {
    std::vector<std::string> f;
    explicit Resume(const std::string& payload) : f(funSplit(payload, "#")) {}
    std::string at(size_t i) const { return i < f.size() ? f[i] : std::string(); }
};

std::string integrity(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        result = "cannot check";
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return result;
}

class CrashRestart : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(procs.configure());
        // Connect at once after each start (the server's constants bring the delays back).
        for (const char* name : {"wksnStartDelay", "wksnCnxBootDelay", "wksnCnxMinDelay"})
            ASSERT_TRUE(noDelay(name));
        test::writeFile(root.file("accounts.txt"), "set tariffs 30:1.50,60:2.50\n");
        test::writeFile(follow, "");
        sim = procs.startSimulator({"--accounts", root.file("accounts.txt"), "--plain", "--log",
                                    log, "--follow", follow, "--session-ids", "100"},
                                   root.file("tlvsim.out"));
        ASSERT_TRUE(test::waitForText(root.file("tlvsim.out"), "listening", 10));
    }

    void TearDown() override {
        if (HasFailure())
            std::cerr << "tlvsim log:\n" << test::readFile(log);
    }

    bool noDelay(const char* name) {
        return procs.reg("HKLM\\Software\\Talvor Client\\Constants", name, "REG_SZ", "0");
    }

    void command(const std::string& line) { std::ofstream(follow, std::ios::app) << line << "\n"; }

    std::vector<Event> events() const { return test::readSimLog(log); }

    // The first connection since index FROM; with live, only one that has not ended (a start
    // killed while connecting may show up late).
    static int connection(const std::vector<Event>& all, size_t from, bool live) {
        for (size_t i = from; i < all.size(); ++i) {
            if (all[i].kind != "connect")
                continue;
            const int ws = all[i].ws;
            const bool ended =
                std::any_of(all.begin() + static_cast<long>(i), all.end(),
                            [ws](const Event& e) { return e.ws == ws && e.kind == "disconnect"; });
            if (!live || !ended)
                return ws;
        }
        return 0;
    }

    // Events of connection WS from index FROM on.
    static std::vector<Event> of(const std::vector<Event>& all, size_t from, int ws) {
        std::vector<Event> out;
        for (size_t i = from; i < all.size(); ++i)
            if (all[i].ws == ws)
                out.push_back(all[i]);
        return out;
    }

    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};
    std::string log = root.file("tlvsim.log");
    std::string follow = root.file("commands.txt");
    int sim = -1;
};

TEST_F(CrashRestart, KilledSessionsComeBackEndedWithTheirCounters) {
    std::mt19937 rng(std::random_device{}());
    // Acceptable outcomes of the next start, from what the server saw before the kill.
    std::optional<Saved> saved;      // the session the hive must hold
    std::optional<std::string> news; // a session accepted after the last report (not reported)
    bool mayBeCleared = false;       // a command may have ended it without a report since
    int restored = 0, killedInSession = 0;
    const auto started = Clock::now();

    for (int run = 0; run <= kKills; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const size_t from = events().size();
        const int cli = procs.spawn(TLVCLI_EXE, {}, root.file("tlvcli.out"));
        ASSERT_GT(cli, 0);
        const auto spawned = Clock::now();
        const bool last = run == kKills;
        // A start now and then is cut short before it even reaches the server.
        const bool early = !last && rng() % 100 < 15;
        // From the connection: identification and resume within 0.5 s, the first report within
        // 1 s, then the new session.
        const auto window = std::chrono::milliseconds(rng() % (early ? 1500 : 3500));

        int ws = 0;
        bool driven = false;
        std::optional<Clock::time_point> killAt;
        if (early)
            killAt = spawned + window;
        while (true) {
            const auto now = Clock::now();
            if (killAt && now >= *killAt)
                break;
            const std::vector<Event> all = events();
            if (ws == 0 && (ws = connection(all, from, true)) != 0 && !killAt)
                killAt = now + window;
            if (ws == 0 && !early) {
                ASSERT_LT(now - spawned, kConnectTimeout)
                    << test::readFile(root.file("tlvsim.out"));
            }
            std::optional<Event> firstReport;
            for (const Event& e : of(all, from, ws))
                if (ws && e.kind == "report") {
                    firstReport = e;
                    break;
                }
            if (last && firstReport)
                break;
            if (firstReport && !driven) {
                driven = true;
                // An ended session mostly makes way for a new one; sometimes it stays.
                const bool ended = firstReport->get("WorkstationState") == "4";
                if (!ended || rng() % 3 != 0) {
                    if (ended)
                        command("activate all");
                    // Self-service: no password, no card (the split drops trailing empties).
                    command("raw all SessionOpen 1|||");
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }

        // What this start showed, against what the previous kill left.
        std::vector<Event> mine;
        if (!last) {
            procs.signal(cli, SIGKILL);
            ASSERT_EQ(procs.waitExit(cli, 10), 128 + SIGKILL);
            if (ws == 0)
                ws = connection(events(), from, false);
        }
        if (ws != 0 && !last) {
            const auto deadline = Clock::now() + kStepTimeout;
            while (true) {
                mine = of(events(), from, ws);
                if (!mine.empty() && mine.back().kind == "disconnect")
                    break;
                ASSERT_LT(Clock::now(), deadline) << "tlvsim saw no disconnection";
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        } else if (ws != 0) {
            mine = of(events(), from, ws);
        }

        std::optional<Resume> resume;
        std::optional<Event> report; // the first after the resume
        for (const Event& e : mine) {
            if (e.kind == "resume" && !resume && !e.fields.empty())
                resume.emplace(e.fields[0]);
            if (e.kind == "report" && !report)
                report = e;
        }
        if (report && !resume) {
            EXPECT_TRUE(!saved || mayBeCleared)
                << "the session " << saved->id << " was lost (elapsed " << saved->elapsed << " s)";
        }
        if (resume) {
            const std::string id = resume->at(2);
            ASSERT_GE(resume->f.size(), 10u) << resume->f.size();
            EXPECT_EQ(resume->at(1), "0") << "a session of the previous run is not the same";
            EXPECT_EQ(resume->at(3), "1");
            const double elapsed = seconds(resume->at(4));
            const float amount = funStrToSng(resume->at(9));
            if (saved && id == saved->id) {
                EXPECT_NEAR(elapsed, saved->elapsed, 1.0) << "session " << id;
                // The snapshot is written before its report: a kill between the two restores a
                // moment the server has not seen yet, whose amount due can only be larger.
                if (std::abs(elapsed - saved->elapsed) < 0.15)
                    EXPECT_NEAR(amount, saved->amount, 0.001f) << "session " << id;
                else
                    EXPECT_GE(amount + 0.001f, saved->amount) << "session " << id;
            } else {
                // Only a session accepted after the last report can be one the server never saw.
                EXPECT_TRUE(news && id == *news) << "unexpected session " << id;
                EXPECT_LT(elapsed, 1.5) << "session " << id;
            }
            if (report) {
                // Shown ended, with the saved times and amount.
                ++restored;
                EXPECT_EQ(report->get("WorkstationState"), "4");
                EXPECT_EQ(report->get("SessionType"), "1");
                EXPECT_NEAR(seconds(report->get("ElapsedTime")), elapsed, 0.002);
                EXPECT_NEAR(seconds(report->get("ConnectedTime")), seconds(resume->at(5)), 0.002);
                EXPECT_NEAR(seconds(report->get("CnxtTimeOffPeak")), seconds(resume->at(6)), 0.002);
                EXPECT_NEAR(seconds(report->get("DisconnectedTime")), seconds(resume->at(7)),
                            0.002);
                EXPECT_NEAR(funStrToSng(report->get("UserBalance")), amount, 0.001f);
            }
            // The restored session is what the hive holds now.
            saved = Saved{id, elapsed, amount};
            news.reset();
            mayBeCleared = false;
        }
        if (last)
            break;

        // The server's view up to the kill decides what the next start must bring back.
        std::string current = resume ? resume->at(2) : std::string();
        for (const Event& e : mine) {
            if (e.kind == "session-ok") {
                current = e.get("SessionID");
                news = current;
            } else if (e.kind == "sent") {
                // Activation and a new request both leave the ended session behind.
                mayBeCleared = true;
            } else if (e.kind == "report") {
                const int state = std::atoi(e.get("WorkstationState").c_str());
                news.reset();
                mayBeCleared = false;
                if (state >= 4 && e.get("SessionType") == "1")
                    saved = Saved{current, seconds(e.get("ElapsedTime")),
                                  funStrToSng(e.get("UserBalance"))};
                else
                    saved.reset();
            }
        }
        killedInSession += saved || news ? 1 : 0;

        for (const char* hive : {"HKLM.db", "HKCU.db"})
            EXPECT_EQ(integrity(root.file(hive)), "ok") << hive;
        ASSERT_TRUE(noDelay("wksnCnxMinDelay"));
    }
    procs.signal(sim, SIGTERM);
    // Most kills must hit a session, and some restarts must show one: the test is not vacuous.
    EXPECT_GE(killedInSession, kKills / 2);
    EXPECT_GE(restored, kKills / 4);
    std::printf("%d kills, %d in a session, %d sessions restored, %.1f s\n", kKills,
                killedInSession, restored,
                std::chrono::duration<double>(Clock::now() - started).count());
}

} // namespace
} // namespace tlv
