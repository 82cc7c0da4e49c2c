// Thirty sandbox clients as thirty sessions of one host under one guard, against one tlvsim:
// every one of them reports twice a second, and --status lists them all.
#include "platform/linux/guard_link.h"
#include "tests/guard/guard_rig.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

namespace tlv::test {
namespace {

constexpr int kSessions = 30;
constexpr long long kWindowMs = 6000;

TEST(GuardMany, ThirtySessionsEachReportTwiceASecond) {
    GuardRig rig;
    ASSERT_TRUE(rig.startSimulator());
    for (int i = 1; i <= kSessions; ++i)
        rig.addSession("m" + std::to_string(i), "MW-" + std::to_string(i));
    rig.writeSessions();
    ASSERT_TRUE(rig.startGuard());

    // Every workstation identified; then a window in which all of them are reporting.
    ASSERT_TRUE(waitFor(
        [&] {
            for (int i = 1; i <= kSessions; ++i)
                if (rig.connectionOf("MW-" + std::to_string(i)) == 0)
                    return false;
            return true;
        },
        120))
        << rig.diagnostics();
    std::map<int, int> wsOf; // connection -> session number
    for (int i = 1; i <= kSessions; ++i)
        wsOf[rig.connectionOf("MW-" + std::to_string(i))] = i;
    const long long start = rig.events().back().ms + 1000;
    ASSERT_TRUE(waitFor([&] { return rig.events().back().ms > start + kWindowMs; },
                        kWindowMs / 1000.0 + 20));

    std::map<int, int> reports;
    for (const SimEvent& e : rig.events())
        if (e.kind == "report" && e.ms >= start && e.ms < start + kWindowMs && wsOf.count(e.ws))
            ++reports[wsOf[e.ws]];
    for (int i = 1; i <= kSessions; ++i)
        // Twice a second is 12 in the window; a timer slipping under load loses one or two.
        EXPECT_GE(reports[i], 10) << "session m" << i;

    const std::string status = guardRequest(rig.socket(), "status").value_or("");
    std::set<std::string> listed;
    for (int i = 1; i <= kSessions; ++i)
        if (status.find("\nm" + std::to_string(i) + " ") != std::string::npos)
            listed.insert("m" + std::to_string(i));
    EXPECT_EQ(listed.size(), static_cast<size_t>(kSessions)) << status;
    EXPECT_EQ(rig.guardLog().find("restarted"), std::string::npos) << rig.guardLog();
}

} // namespace
} // namespace tlv::test
