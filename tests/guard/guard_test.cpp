// tlvcli-guard in test mode with the real client in sandbox sessions against tlvsim: killed
// clients come back reporting and resume their session; a lock file held by the customer stops
// nothing; only the client the guard started can release its session; failed starts end it.
#include "link/message.h"
#include "platform/linux/guard_link.h"
#include "tests/guard/guard_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace tlv::test {
namespace {

using Clock = std::chrono::steady_clock;

// Limits generous for a loaded machine; the figures are in bench/. A sanitizer build starts
// the client several times slower: fewer kills, and no judging of its speed.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kKills = 5;
constexpr double kBackLimit = 90;
constexpr double kBackMedianLimit = kBackLimit;
#else
constexpr int kKills = 20;
constexpr double kBackLimit = 8;
constexpr double kBackMedianLimit = 2.5; // two seconds, with a margin for a shared machine
#endif
constexpr double kStartLimit = 90;
constexpr double kReportInterval = 0.5;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool running(const SimEvent& e) {
    const int state = std::atoi(e.get("WorkstationState").c_str());
    return e.get("SessionType") == "1" && (state == 5 || state == 6);
}

TEST(Guard, KilledClientsComeBackReportingAndResumeTheirSessions) {
    GuardRig rig;
    ASSERT_TRUE(rig.startSimulator());
    // A first start waits this long to connect; a restart does not wait at all.
    ASSERT_TRUE(rig.procs.reg("HKLM\\Software\\Talvor Client\\Constants", "wksnCnxMinDelay",
                              "REG_SZ", "4000"));
    const std::vector<std::string> ids = {"g1", "g2", "g3"};
    for (const std::string& id : ids)
        rig.addSession(id, "GW-" + id);
    // The customer of g1 holds the lock file a client without the guard would take.
    const int held = ::open((rig.sessionRoots["g1"] + "/tlvcli.lock").c_str(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    rig.writeSessions();
    // Kills come at least a second after a start: none of them counts as a failed start.
    ASSERT_TRUE(rig.startGuard({"--quick-seconds", "1"})) << rig.diagnostics();

    for (const std::string& id : ids)
        ASSERT_TRUE(waitFor([&] { return rig.connectionOf("GW-" + id) != 0; }, kStartLimit))
            << id << " never identified\n"
            << rig.diagnostics();

    // A customer's process claiming a staff quit, or asking to be guarded, is refused.
    EXPECT_EQ(guardRequest(rig.socket(), "release quit"), "refused");
    EXPECT_EQ(guardRequest(rig.socket(), "guard"), "refused");
    EXPECT_NE(
        rig.guardLog().find("refused \"release quit\" from pid " + std::to_string(::getpid())),
        std::string::npos)
        << rig.guardLog();

    // A client started by hand in a guarded session gives way at once.
    {
        SandboxProcesses byHand(rig.sessionRoots["g2"]);
        byHand.addEnv("TLVCLI_GUARD_SOCKET=" + rig.socket());
        byHand.addEnv("XDG_SESSION_ID=g2");
        const int pid = byHand.spawn(TLVCLI_EXE, {}, rig.root.file("byhand.out"));
        EXPECT_EQ(byHand.waitExit(pid, 30), 1) << readFile(rig.root.file("byhand.out"));
    }

    for (const std::string& id : ids)
        rig.command("raw GW-" + id + " SessionOpen 1|||");

    std::mt19937 rng(std::random_device{}());
    std::vector<double> backs;
    for (int kill = 0; kill < kKills; ++kill) {
        const std::string id = ids[rng() % ids.size()];
        const std::string name = "GW-" + id;
        SCOPED_TRACE("kill " + std::to_string(kill) + " in " + id);
        // A session running for a while, then a kill at a random moment of a report interval.
        const int ws = rig.connectionOf(name);
        ASSERT_TRUE(waitFor(
            [&] {
                return rig.report(ws, [](const SimEvent& e) {
                    return running(e) && daysToSeconds(e.get("ElapsedTime")) > 0.3;
                }) != std::nullopt;
            },
            20))
            << rig.diagnostics();
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 700));
        const int pid = rig.clients()[id];
        ASSERT_GT(pid, 0);
        const size_t from = rig.events().size();
        double lastElapsed = 0;
        for (const SimEvent& e : rig.events())
            if (e.ws == ws && e.kind == "report" && running(e))
                lastElapsed = daysToSeconds(e.get("ElapsedTime"));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        const auto killed = Clock::now();

        int back = 0;
        ASSERT_TRUE(waitFor(
            [&] {
                back = rig.connectionOf(name, from);
                return back != 0 && rig.report(
                                        back, [](const SimEvent&) { return true; }, from);
            },
            30))
            << rig.diagnostics();
        backs.push_back(std::chrono::duration<double>(Clock::now() - killed).count());
        EXPECT_LT(backs.back(), kBackLimit);

        // The session the server saw comes back with its time: at most one report lost.
        std::optional<SimEvent> resume;
        for (const SimEvent& e : rig.events())
            if (e.ws == back && e.kind == "resume" && !resume)
                resume = e;
        ASSERT_TRUE(resume) << rig.diagnostics();
        const std::vector<std::string> f = funSplit(resume->fields.at(0), "#");
        ASSERT_GE(f.size(), 10u) << resume->fields.at(0);
        EXPECT_EQ(f[3], "1") << "a self-service session";
        EXPECT_GE(daysToSeconds(f[4]), lastElapsed - kReportInterval - 0.01)
            << "resumed " << f[4] << ", last reported " << lastElapsed;

        // The restored session is shown ended; a new one starts for the next kill.
        rig.command("activate " + name);
        rig.command("raw " + name + " SessionOpen 1|||");
    }
    std::sort(backs.begin(), backs.end());
    const double median = backs[backs.size() / 2];
    EXPECT_LE(median, kBackMedianLimit);
    std::printf("%d kills: back and reporting after %.2f s (median), %.2f s (max)\n", kKills,
                median, backs.back());
    const std::string log = rig.guardLog();
    EXPECT_EQ(count(log, "restarted the client"), static_cast<size_t>(kKills)) << log;
    EXPECT_EQ(log.find("ended session"), std::string::npos) << log;

    // Staff take g3 out of service (the server's deactivation): its end is accepted.
    rig.command("disable GW-g3");
    ASSERT_TRUE(waitFor(
        [&] {
            return rig.guardLog().find("session g3: released by staff (deactivated)") !=
                   std::string::npos;
        },
        20))
        << rig.diagnostics();
    const size_t from = rig.events().size();
    ASSERT_EQ(::kill(rig.clients()["g3"], SIGKILL), 0);
    ASSERT_TRUE(waitFor(
        [&] {
            return rig.guardLog().find("restart refused: released by staff") != std::string::npos;
        },
        10))
        << rig.diagnostics();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(rig.clients().count("g3"), 0u);
    EXPECT_EQ(rig.connectionOf("GW-g3", from), 0) << "started again after a staff release";
    ::close(held);
}

TEST(Guard, FiveFailedStartsInARowEndTheSession) {
    GuardRig rig;
    writeFile(rig.sessionsFile, "q1 XDG_SESSION_ID=q1\n");
    ASSERT_TRUE(rig.startGuard({}, "/bin/false"));
    ASSERT_TRUE(waitFor([&] { return readFile(rig.sessionsFile + ".ended") == "q1\n"; }, 30))
        << rig.diagnostics();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const std::string log = rig.guardLog();
    EXPECT_EQ(count(log, "session q1: started the client"), 1u) << log;
    EXPECT_EQ(count(log, "session q1: restarted the client"), 4u) << log;
    EXPECT_EQ(count(log, "restart refused: 5 failed starts in a row"), 1u) << log;
    EXPECT_EQ(count(log, "ended session q1"), 1u) << log;
    std::string status;
    EXPECT_TRUE(waitFor(
        [&] {
            status = guardRequest(rig.socket(), "status").value_or("");
            return status.find("ended (failed starts)") != std::string::npos;
        },
        5))
        << status;
}

TEST(Guard, AStoppedClientIsContinued) {
    GuardRig rig;
    const std::string client = rig.root.file("client.sh");
    writeFile(client, "#!/bin/sh\nexec sleep 120\n");
    std::filesystem::permissions(client, std::filesystem::perms::owner_all);
    writeFile(rig.sessionsFile, "p1 XDG_SESSION_ID=p1\n");
    ASSERT_TRUE(rig.startGuard({}, client));
    int pid = 0;
    ASSERT_TRUE(waitFor([&] { return (pid = rig.clients()["p1"]) > 0; }, 10));
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_TRUE(waitFor(
        [&] {
            return rig.guardLog().find("client " + std::to_string(pid) + " was stopped") !=
                   std::string::npos;
        },
        10))
        << rig.diagnostics();
    const auto state = [pid] {
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
    };
    EXPECT_TRUE(waitFor([&] { return state() != 'T'; }, 5)) << state();
    EXPECT_EQ(rig.clients()["p1"], pid) << "continued, not started again";
}

} // namespace
} // namespace tlv::test
