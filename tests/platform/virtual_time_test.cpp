#include "platform/fake/virtual_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tlv {
namespace {

struct VirtualTimeTest : ::testing::Test {
    VirtualClock clock;
    VirtualScheduler sched{clock};
    std::vector<std::string> fired;
};

TEST_F(VirtualTimeTest, TimersFireInTimeOrderWithTheClockAtTheirDueTime) {
    auto fast = sched.createTimer([&] { fired.push_back("fast@" + std::to_string(clock.monotonicMs())); });
    auto slow = sched.createTimer([&] { fired.push_back("slow@" + std::to_string(clock.monotonicMs())); });
    fast->start(100);
    slow->start(250);
    sched.advance(500);
    EXPECT_EQ(fired, (std::vector<std::string>{"fast@100", "fast@200", "slow@250", "fast@300",
                                               "fast@400", "slow@500", "fast@500"}));
    EXPECT_EQ(clock.monotonicMs(), 500);
}

TEST_F(VirtualTimeTest, SingleShotStopsItselfAndATimerMayStopAnother) {
    auto other = sched.createTimer([&] { fired.push_back("other"); });
    auto once = sched.createTimer([&] {
        fired.push_back("once");
        other->stop();
    });
    once->setSingleShot(true);
    once->start(50);
    other->start(60);
    sched.advance(1000);
    EXPECT_EQ(fired, (std::vector<std::string>{"once"}));
    EXPECT_FALSE(once->enabled());
}

TEST_F(VirtualTimeTest, ChangingTheIntervalRestartsButReenablingDoesNot) {
    auto t = sched.createTimer([&] { fired.push_back(std::to_string(clock.monotonicMs())); });
    t->start(100);
    sched.advance(60);
    t->setEnabled(true); // no restart
    sched.advance(40);
    t->setInterval(100); // restart from 100
    sched.advance(150);
    EXPECT_EQ(fired, (std::vector<std::string>{"100", "200"}));
}

TEST_F(VirtualTimeTest, PostedWorkRunsAfterTheCurrentEventAndAWallJumpLeavesMonotonicTime) {
    auto t = sched.createTimer([&] {
        sched.post([&] { fired.push_back("posted"); });
        fired.push_back("tick");
    });
    t->setSingleShot(true);
    t->start(10);
    const int64_t wall = clock.utcMs();
    clock.jumpWall(-3'600'000);
    sched.advance(10);
    EXPECT_EQ(fired, (std::vector<std::string>{"tick", "posted"}));
    EXPECT_EQ(clock.monotonicMs(), 10);
    EXPECT_EQ(clock.utcMs(), wall - 3'600'000 + 10);
}

TEST_F(VirtualTimeTest, ATimerDestroyedInsideItsOwnCallbackIsSafe) {
    std::unique_ptr<Timer> t;
    t = sched.createTimer([&] {
        fired.push_back("x");
        t.reset();
    });
    t->start(5);
    sched.advance(100);
    EXPECT_EQ(fired.size(), 1u);
}

} // namespace
} // namespace tlv
