#include "core/dates.h"
#include "core/log.h"
#include "core/session_clock.h"
#include "platform/fake/fake_clock_change.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <map>

namespace tlv {
namespace {

constexpr int64_t kMin = kMsPerMinute;
constexpr double kDayMin = 1.0 / 1440;

// Plays the state machine, the link and the forms, and records what the clock asks of them.
class RecordingHost : public SessionClockHost {
public:
    int state = 6;
    int previous = 2;
    int type = 2;
    int forceUpdates = 0;
    int noMoreCredit = 0;
    int clockLocks = 0;
    int unpauses = 0;
    int dateRequests = 0;
    int stateAtForceUpdate = -1;
    std::vector<std::string> boxes;
    StatusTexts texts;
    int textUpdates = 0;

    int workstationState() const override { return state; }
    int previousState() const override { return previous; }
    int sessionType() const override { return type; }
    void subForceUpdate() override {
        ++forceUpdates;
        stateAtForceUpdate = state;
    }
    void enterNoMoreCredit() override {
        ++noMoreCredit;
        previous = state;
        state = 8;
    }
    void lockForClockChange() override {
        ++clockLocks;
        previous = state;
        state = 10;
    }
    void funUnPauseSession() override {
        ++unpauses;
        state = previous;
    }
    void requestServerDate() override { ++dateRequests; }
    void subShowMsgBox(const std::string& text) override { boxes.push_back(text); }
    void setStatusTexts(const StatusTexts& t) override {
        texts = t;
        ++textUpdates;
    }
    std::string funLoadResString(int id) const override {
        static const std::map<int, std::string> table{
            {10001, "h"},
            {10002, "mn"},
            {10003, "sec"},
            {10198, "You only have "},
            {10199, " minute(s) left."},
            {10200, "You already owe "},
            {10201, "."},
            {10356, "Workstation used for </resInsert1>"},
            {10358, "Unlimited"},
        };
        const auto it = table.find(id);
        return it == table.end() ? std::string() : it->second;
    }
};

struct ClockFixture : ::testing::Test {
    test::TempRoot root;
    VirtualClock clock;
    VirtualScheduler sched{clock};
    Logger log{clock, root.file("tlvcli.log")};
    RecordingHost host;
    SessionClock sc{clock, sched, log, host};

    ClockFixture() {
        // Local noon, no server offset.
        clock.setLocalOffset(0);
        const int64_t today = clock.utcMs() / kMsPerDay * kMsPerDay;
        clock.setUtc(today + 12 * kMsPerHour);
    }
    double nowDays() const { return msToDays(serialMsFromUnixMs(clock.localMs())); }
    // funStartSession: clear happened in subUserInit; one tick now, then every 100 ms.
    void startSession(int type, int state) {
        host.type = type;
        host.state = state;
        sc.tmrSessionStatus_Timer();
        sc.setEnabled(true);
    }
    void startCard(double creditMinutes, double validityFromNowMinutes, int state = 6) {
        sc.clear();
        sc.onSessionOK(creditMinutes * kDayMin, nowDays() + validityFromNowMinutes * kDayMin, 0);
        startSession(2, state);
    }
    std::string logText() { return test::readFile(root.file("tlvcli.log")); }
};

TEST_F(ClockFixture, CardWithTwoMinutesEndsOnceAndARechargeResumes) {
    startCard(2, 600);
    sched.advance(2 * kMin - 100);
    EXPECT_EQ(host.state, 6);
    EXPECT_EQ(host.texts.remaining, "00:00:00"); // 100 ms left shows as zero seconds
    sched.advance(100);
    EXPECT_EQ(host.state, 8);
    EXPECT_EQ(host.previous, 6);
    EXPECT_EQ(host.forceUpdates, 1);
    EXPECT_EQ(host.stateAtForceUpdate, 6); // reported before the state changes
    EXPECT_EQ(sc.record().remainingCreditMs, 0);
    EXPECT_EQ(sc.record().displayedRemainingMs, 0);

    // In state 8 the time goes to no-credit time and nothing is reported again.
    sched.advance(3 * kMin);
    EXPECT_EQ(host.noMoreCredit, 1);
    EXPECT_EQ(host.forceUpdates, 1);
    EXPECT_EQ(sc.record().connectedMs, 2 * kMin);
    EXPECT_EQ(sc.record().noCreditMs, 3 * kMin);
    EXPECT_EQ(sc.record().sessionMs, 2 * kMin);

    // RechargeCard with 10 minutes, then ResumeWksn returns to the previous state.
    sc.onRechargeCard(10 * kDayMin, nowDays() + 600 * kDayMin);
    EXPECT_EQ(sc.record().remainingCreditMs, 10 * kMin);
    EXPECT_EQ(sc.record().displayedRemainingMs, 10 * kMin);
    host.state = host.previous;
    sched.advance(kMin);
    EXPECT_EQ(host.state, 6);
    EXPECT_EQ(sc.record().remainingCreditMs, 9 * kMin);
    EXPECT_EQ(host.texts.remaining, "00:09:00");
    sched.advance(9 * kMin);
    EXPECT_EQ(host.state, 8);
    EXPECT_EQ(host.forceUpdates, 2);
}

TEST_F(ClockFixture, ClockSetBackAnHourAddsNoTimeAndLocksUntilTheServerDate) {
    FakeClockChangeMonitor monitor;
    monitor.setHandler([this] { sc.sysInfo_TimeChanged(); });
    monitor.start();
    startCard(120, 600);
    sched.advance(10 * kMin);
    EXPECT_EQ(sc.record().elapsedMs, 10 * kMin);

    // The wall clock goes back an hour; ticks run before the change event is delivered.
    clock.jumpWall(-kMsPerHour);
    sched.advance(300);
    EXPECT_EQ(sc.record().elapsedMs, 10 * kMin + 300);
    monitor.fire();
    EXPECT_EQ(host.state, 10);
    EXPECT_EQ(host.clockLocks, 1);
    EXPECT_EQ(host.dateRequests, 1);
    EXPECT_TRUE(sc.clockChanged());

    // Locked: the clock runs but counts no connected time.
    sched.advance(5 * kMin);
    EXPECT_EQ(host.state, 10);
    EXPECT_EQ(sc.record().connectedMs, 10 * kMin + 300);
    EXPECT_EQ(sc.record().remainingCreditMs, 110 * kMin - 300);
    EXPECT_EQ(host.texts.remaining, "01:49:59"); // as in state 6, the previous state

    // The server's date puts server time back on the real hour and resumes the session.
    sc.onServerDate(nowDays() + 1.0 / 24);
    EXPECT_EQ(sc.serverTimeOffsetMs(), kMsPerHour);
    EXPECT_EQ(host.unpauses, 1);
    EXPECT_EQ(host.state, 6);
    EXPECT_FALSE(sc.clockChanged());
    sched.advance(kMin);
    EXPECT_EQ(sc.record().connectedMs, 11 * kMin + 300);
    EXPECT_EQ(host.noMoreCredit, 0); // validity is checked on server time, not the local hour
}

TEST_F(ClockFixture, ServerPauseDuringAClockChangeIsNotLifted) {
    startCard(120, 600);
    host.state = 9; // the server paused the session
    host.previous = 6;
    sc.sysInfo_TimeChanged();
    EXPECT_EQ(host.clockLocks, 0);
    EXPECT_EQ(host.dateRequests, 1);
    sc.onServerConnected(); // still waiting: asks again after a reconnection
    EXPECT_EQ(host.dateRequests, 2);
    sc.onServerDate(nowDays());
    EXPECT_EQ(host.unpauses, 0);
    EXPECT_EQ(host.state, 9);
    EXPECT_FALSE(sc.clockChanged());
}

TEST_F(ClockFixture, WallClockJumpWithoutAnEventAddsNothing) {
    host.type = 1;
    sc.setPostPaidMode(0, 15 * kDayMin, 15 * kDayMin, 0);
    sc.setDefaultRecharges({{30 * kDayMin, 1.00f}, {30 * kDayMin, 0.80f}});
    sc.clear();
    startSession(1, 6);
    sched.advance(20 * kMin);
    clock.jumpWall(3 * kMsPerHour);
    sched.advance(25 * kMin);
    EXPECT_EQ(sc.record().elapsedMs, 45 * kMin);
    EXPECT_FLOAT_EQ(sc.record().amountDue, 1.40f);
}

TEST_F(ClockFixture, DisconnectedRatioFifty) {
    sc.setRatioDisconCon(50);
    startCard(60, 600, 5);
    sched.advance(kMin);
    EXPECT_EQ(sc.record().disconnectedMs, kMin);
    EXPECT_EQ(sc.record().remainingCreditMs, 59 * kMin + 30 * kMsPerSecond);
    EXPECT_EQ(sc.record().displayedRemainingMs, 2 * sc.record().remainingCreditMs);
    EXPECT_EQ(host.texts.remaining, "01:59:00");
    EXPECT_TRUE(host.texts.remainingShown);
}

TEST_F(ClockFixture, RemainingTimeByStateAndRatio) {
    // Off-peak from 11:00 to 13:00 local; it is noon.
    struct Case {
        const char* name;
        int state, previous;
        int offPeakRatio, disconnectedRatio;
        bool offPeakWindow;
        const char* remaining;
    } cases[] = {
        {"ConnectedPeak", 6, 2, 0, 100, false, "00:59:00"},
        {"ConnectedOffPeakHalf", 6, 2, 50, 100, true, "01:59:00"},
        {"ConnectedOffPeakFree", 6, 2, 0, 100, true, "Unlimited"},
        {"DisconnectedFree", 5, 2, 100, 0, false, "Unlimited"},
        {"LockedFromConnected", 10, 6, 0, 100, false, "01:00:00"},
        {"PausedFromFree", 9, 7, 0, 100, false, "Unlimited"},
    };
    for (const auto& c : cases) {
        sc.setOffPeakParams(c.offPeakRatio, c.offPeakWindow ? 13.0 / 24 : 0,
                            c.offPeakWindow ? 11.0 / 24 : 0);
        sc.setRatioDisconCon(c.disconnectedRatio);
        sc.clear();
        sc.onSessionOK(60 * kDayMin, nowDays() + 1, 0);
        host.type = 2;
        host.state = c.state;
        host.previous = c.previous;
        sc.tmrSessionStatus_Timer();
        sched.advance(kMin);
        sc.tmrSessionStatus_Timer();
        EXPECT_EQ(host.texts.remaining, c.remaining) << c.name;
    }
}

TEST_F(ClockFixture, ValidityEndingBeforeTheCredit) {
    startCard(120, 10);
    EXPECT_EQ(host.texts.remaining, "00:10:00");
    EXPECT_EQ(sc.record().remainingCreditMs, 120 * kMin);
    sched.advance(10 * kMin - 100);
    EXPECT_EQ(host.state, 6);
    sched.advance(100);
    EXPECT_EQ(host.state, 8);
    EXPECT_EQ(host.forceUpdates, 1);
    EXPECT_EQ(sc.record().remainingCreditMs, 0);
}

TEST_F(ClockFixture, UnlimitedNeverEnds) {
    sc.clear();
    sc.onSessionOK(1 * kDayMin, nowDays() + 1 * kDayMin, 1);
    startSession(4, 6);
    sched.advance(10 * kMin);
    EXPECT_EQ(host.state, 6);
    EXPECT_EQ(host.texts.remaining, "Unlimited");
    EXPECT_FALSE(host.texts.remainingShown);
}

TEST_F(ClockFixture, TimeWarningsOncePerThreshold) {
    sc.setWksnMsgOptions(1, 5, 2, 0, 0);
    startCard(6, 600);
    sched.advance(kMin + 500); // through the ten ticks of 00:05:00
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0], "You only have 5 minute(s) left.");
    sched.advance(3 * kMin);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1], "You only have 2 minute(s) left.");
    // A recharge lifts the time above the first threshold again: it warns again later.
    sc.onRechargeCard(4 * kDayMin, nowDays() + 600 * kDayMin);
    sched.advance(kMin + 500);
    EXPECT_EQ(host.boxes.size(), 3u);
    sched.advance(10 * kMin);
    EXPECT_EQ(host.boxes.size(), 4u);
    EXPECT_EQ(host.state, 8);
}

TEST_F(ClockFixture, SelfServiceAmountTextsAndWarnings) {
    sc.setPostPaidMode(2, 15 * kDayMin, 15 * kDayMin, 0);
    sc.setDefaultRecharges({{30 * kDayMin, 1.00f}, {30 * kDayMin, 0.80f}});
    sc.setCurrencySymbol("€", "</currSymbol> 0.00");
    sc.setWksnMsgOptions(0, 0, 0, 1, 1.0f);
    sc.clear();
    startSession(1, 6);
    sched.advance(10 * kMin);
    EXPECT_EQ(host.texts.amountDue, "€ 0.50");
    EXPECT_EQ(host.texts.timeToNextIncrement, "00:05:00");
    EXPECT_EQ(host.texts.elapsed, "00:10:00");
    EXPECT_EQ(host.texts.usedFor, "Workstation used for 0h 10mn 0sec");
    EXPECT_TRUE(host.boxes.empty());
    sched.advance(35 * kMin); // 45 min: 1.40
    EXPECT_EQ(host.texts.amountDue, "€ 1.40");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0], "You already owe € 1.00.");
    sched.advance(15 * kMin); // 60 min: 1.80, still the first multiple
    EXPECT_EQ(host.boxes.size(), 1u);
    sched.advance(15 * kMin); // 75 min: 2.20
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1], "You already owe € 2.20.");
}

TEST_F(ClockFixture, SelfServiceWithoutTariffsBillsNothingAndLogsOncePerCondition) {
    const auto lines = [this](const std::string& what) {
        const std::string text = logText();
        size_t n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            ++n;
        return n;
    };
    const std::string empty = "modFunctions.funBalanceDueTimeBasedError: #9";
    const std::string zero = "modFunctions.funBalanceDueTimeBasedError: #11";
    sc.clear();
    startSession(1, 6);
    sched.advance(kMin); // 600 ticks
    EXPECT_EQ(sc.record().amountDue, 0.0f);
    EXPECT_EQ(host.texts.amountDue, "0");
    EXPECT_EQ(lines(empty), 1u);
    // Another failure is written once too; a table that works ends the condition, and the
    // next time the table is empty it is written again.
    sc.setDefaultRecharges({{0, 1.0f}});
    sched.advance(kMin);
    EXPECT_EQ(lines(zero), 1u);
    sc.setDefaultRecharges({{30 * kDayMin, 1.00f}});
    sched.advance(kMin);
    EXPECT_GT(sc.record().amountDue, 0.0f);
    sc.setDefaultRecharges({});
    sched.advance(kMin);
    EXPECT_EQ(lines(empty), 2u);
    EXPECT_EQ(lines(zero), 1u);
}

TEST_F(ClockFixture, OffPeakWindowsIncludingMidnightAndTheWholeDay) {
    struct Case {
        double start, end; // as the server sends them: fractions of a day, 1.0 = 24:00
        double hour;
        bool offPeak;
    } cases[] = {
        {0, 1.0, 0, true},
        {0, 1.0, 12, true},
        {0, 1.0, 23.999, true},
        {22.0 / 24, 1.0, 22, true},
        {22.0 / 24, 1.0, 21.99, false},
        {22.0 / 24, 1.0, 23.99, true},
        {22.0 / 24, 1.0, 0, false},
        {22.0 / 24, 0, 23, true},
        {22.0 / 24, 0, 0, false},
        {22.0 / 24, 0, 12, false},
        {22.0 / 24, 6.0 / 24, 23, true},
        {22.0 / 24, 6.0 / 24, 3, true},
        {22.0 / 24, 6.0 / 24, 6, false},
        {0, 6.0 / 24, 0, true},
        {0, 6.0 / 24, 6, false},
        {1.0, 6.0 / 24, 0, true},
        {0, 0, 12, false}, // no window
    };
    for (const Case& c : cases) {
        sc.setOffPeakParams(50, c.end, c.start);
        EXPECT_EQ(sc.funIsOffPeak(c.hour / 24), c.offPeak)
            << c.start * 24 << "-" << c.end * 24 << " at " << c.hour;
    }
}

TEST_F(ClockFixture, ClearEmptiesTheSessionRecord) {
    startCard(2, 600);
    sched.advance(3 * kMin);
    sc.setEnabled(false);
    sc.clear();
    const SessionRecord& r = sc.record();
    EXPECT_EQ(r.elapsedMs + r.connectedMs + r.noCreditMs + r.creditMs + r.remainingCreditMs, 0);
    EXPECT_EQ(r.lastTickMono, clock.monotonicMs());
    EXPECT_FALSE(sc.enabled());
    // Time while the clock is disabled is not counted once it runs again.
    sc.onSessionOK(5 * kDayMin, nowDays() + 1, 0);
    startSession(2, 6);
    sc.setEnabled(false);
    sched.advance(kMin);
    sc.setEnabled(true);
    sched.advance(100);
    EXPECT_EQ(sc.record().elapsedMs, 100);
}

} // namespace
} // namespace tlv
