#include "core/dates.h"
#include "core/log.h"
#include "core/tariffs.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

constexpr int64_t kMin = kMsPerMinute;

struct TariffFixture : ::testing::Test {
    test::TempRoot root;
    VirtualClock clock;
    Logger log{clock, root.file("tlvcli.log")};
    Tariffs tariffs{log};

    std::string logText() { return test::readFile(root.file("tlvcli.log")); }
};

struct BalanceCase {
    const char* name;
    int rechargeBased;
    int autoOptimise;
    std::vector<TariffRow> table;
    int64_t increment;
    int64_t minimum;
    int64_t billable;
    float amount;
    int64_t next; // -1: left as it was
};

class BalanceDue : public TariffFixture, public ::testing::WithParamInterface<BalanceCase> {};

TEST_P(BalanceDue, AmountAndTimeToNextIncrement) {
    const BalanceCase& c = GetParam();
    TariffData& d = tariffs.data();
    d.rechargeBased = c.rechargeBased;
    d.autoOptimise = c.autoOptimise;
    d.table = c.table;
    d.billingIncrementMs = c.increment;
    d.minimumBillingMs = c.minimum;
    int64_t next = -1;
    const float amount = tariffs.funBalanceDue(c.billable, next, RateContext{6, false});
    EXPECT_FLOAT_EQ(amount, c.amount);
    EXPECT_EQ(next, c.next);
}

const std::vector<TariffRow> kPeriods{{30 * kMin, 1.00f}, {30 * kMin, 0.80f}};
const std::vector<TariffRow> kRecharges{{30 * kMin, 1.00f}, {60 * kMin, 1.50f}};

INSTANTIATE_TEST_SUITE_P(
    Examples, BalanceDue,
    ::testing::Values(
        BalanceCase{"TimeBasedUnderMinimum", 0, 0, kPeriods, 15 * kMin, 15 * kMin, 10 * kMin, 0.50f,
                    5 * kMin},
        // 45 - 30 minutes is exactly one increment, not a hair more.
        BalanceCase{"TimeBasedIntoSecondPeriod", 0, 0, kPeriods, 15 * kMin, 15 * kMin, 45 * kMin,
                    1.40f, 15 * kMin},
        BalanceCase{"TimeBasedOneMsIntoNextIncrement", 0, 0, kPeriods, 15 * kMin, 15 * kMin,
                    45 * kMin + 1, 1.80f, 15 * kMin - 1},
        BalanceCase{"TimeBasedPastLastPeriod", 0, 0, kPeriods, 15 * kMin, 15 * kMin, 70 * kMin,
                    1.00f + 0.80f + 0.40f, 5 * kMin},
        BalanceCase{"TimeBasedFlagTwoShowsNext", 2, 0, kPeriods, 15 * kMin, 15 * kMin, 10 * kMin,
                    0.50f, 5 * kMin},
        BalanceCase{"SimpleFirstRecharge", 1, 0, kRecharges, 15 * kMin, 0, 20 * kMin, 1.00f,
                    10 * kMin},
        BalanceCase{"SimpleExactlyLast", 1, 0, kRecharges, 15 * kMin, 0, 60 * kMin, 1.50f, -1},
        BalanceCase{"SimplePastLast", 1, 0, kRecharges, 15 * kMin, 0, 70 * kMin, 1.875f, 5 * kMin},
        BalanceCase{"SimpleFlagTwo", 1, 2, kRecharges, 15 * kMin, 0, 40 * kMin, 1.50f, 20 * kMin},
        BalanceCase{"AutoOptimExactCombination", 1, 1, kRecharges, 15 * kMin, 0, 90 * kMin, 2.50f,
                    -1},
        BalanceCase{"AutoOptimBuysOneMoreLarger", 1, 1, kRecharges, 15 * kMin, 0, 100 * kMin, 3.00f,
                    -1},
        // No increment: the time is billed as it runs (it was free, with an error every tick).
        BalanceCase{"TimeBasedWithoutIncrement", 0, 0, kPeriods, 0, 15 * kMin, 45 * kMin, 1.40f, 1},
        BalanceCase{"SimpleWithoutIncrement", 1, 0, kRecharges, 0, 0, 70 * kMin, 1.75f, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TariffFixture, WireDurationsBillExactly) {
    // 45 and 15 minutes as the doubles the server sends: rounding to milliseconds keeps the
    // difference at exactly one increment.
    TariffData& d = tariffs.data();
    d.table = {{daysToMs(30.0 / 1440), 1.00f}, {daysToMs(30.0 / 1440), 0.80f}};
    d.billingIncrementMs = daysToMs(15.0 / 1440);
    d.minimumBillingMs = daysToMs(15.0 / 1440);
    int64_t next = 0;
    EXPECT_FLOAT_EQ(tariffs.funBalanceDue(daysToMs(45.0 / 1440), next, {}), 1.40f);
    EXPECT_EQ(next, 15 * kMin);
}

TEST_F(TariffFixture, RateAdjustmentOfTheNextIncrement) {
    TariffData& d = tariffs.data();
    d.table = kPeriods;
    d.billingIncrementMs = 15 * kMin;
    d.minimumBillingMs = 15 * kMin;
    d.offPeakRatio = 50;
    d.disconnectedRatio = 25;
    struct Case {
        RateContext rc;
        int64_t next;
    } cases[] = {
        {{6, false}, 5 * kMin},  {{6, true}, 10 * kMin}, {{7, true}, 10 * kMin},
        {{5, false}, 20 * kMin}, {{5, true}, 20 * kMin}, {{9, true}, 5 * kMin},
    };
    for (const auto& c : cases) {
        int64_t next = 0;
        tariffs.funBalanceDue(10 * kMin, next, c.rc);
        EXPECT_EQ(next, c.next) << "state " << c.rc.state << " offPeak " << c.rc.offPeak;
    }
    // A ratio of 0 bills nothing at that rate: next stays as computed, no division by zero.
    d.disconnectedRatio = 0;
    int64_t next = 0;
    tariffs.funBalanceDue(10 * kMin, next, {5, false});
    EXPECT_EQ(next, 5 * kMin);
}

TEST_F(TariffFixture, BadTablesAreTrappedAndBillNothing) {
    struct Case {
        const char* context;
        int rechargeBased, autoOptimise;
        std::vector<TariffRow> table;
        int64_t increment;
        int64_t billable;
        int number;
    } cases[] = {
        {"modFunctions.funBalanceDueTimeBasedError: #9", 0, 0, {}, 15 * kMin, 10 * kMin, 9},
        {"modFunctions.funBalanceDueRechargeBasedSimpleError: #9", 1, 0, {}, 15 * kMin, kMin, 9},
        {"modFunctions.funBalanceDueRechargeBasedAutoOptimError: #9", 1, 1, {}, 0, kMin, 9},
        {"modFunctions.funBalanceDueTimeBasedError: #11", 0, 0, {{0, 1.0f}}, 15 * kMin, kMin, 11},
        {"modFunctions.funBalanceDueRechargeBasedAutoOptimError: #11",
         1,
         1,
         {{0, 1.0f}},
         0,
         kMin,
         11},
    };
    for (const auto& c : cases) {
        TariffData& d = tariffs.data();
        d.rechargeBased = c.rechargeBased;
        d.autoOptimise = c.autoOptimise;
        d.table = c.table;
        d.billingIncrementMs = c.increment;
        d.minimumBillingMs = 0;
        int64_t next = 77;
        EXPECT_EQ(tariffs.funBalanceDue(c.billable, next, {}), 0.0f) << c.context;
        EXPECT_EQ(next, 77) << c.context;
        EXPECT_NE(logText().find(c.context), std::string::npos) << c.context;
    }
}

TEST_F(TariffFixture, OffPeakWindow) {
    struct Case {
        int64_t start, end, t;
        bool offPeak;
    } cases[] = {
        {22 * kMsPerHour, 6 * kMsPerHour, 23 * kMsPerHour + 30 * kMin, true},
        {22 * kMsPerHour, 6 * kMsPerHour, 5 * kMsPerHour + 59 * kMin, true},
        {22 * kMsPerHour, 6 * kMsPerHour, 6 * kMsPerHour, false},
        {22 * kMsPerHour, 6 * kMsPerHour, 22 * kMsPerHour, true},
        {22 * kMsPerHour, 6 * kMsPerHour, 12 * kMsPerHour, false},
        {12 * kMsPerHour, 14 * kMsPerHour, 13 * kMsPerHour, true},
        {12 * kMsPerHour, 14 * kMsPerHour, 14 * kMsPerHour, false},
        {0, 0, 0, false}, // no window configured
    };
    for (const auto& c : cases) {
        tariffs.data().offPeakStartMs = c.start;
        tariffs.data().offPeakEndMs = c.end;
        EXPECT_EQ(tariffs.funIsOffPeak(c.t), c.offPeak) << c.start << "-" << c.end << " " << c.t;
    }
}

} // namespace
} // namespace tlv
