#include "platform/linux/timerfd_clock_change.h"
#include "platform/qt/qt_clock_change.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace tlv {
namespace {

// Setting the real clock is not for a test; this checks the descriptor is armed and quiet.
TEST(TimerfdClockChange, ArmsAndStaysQuietWithoutAChange) {
    TimerfdClockChange m;
    int calls = 0;
    m.setHandler([&] { ++calls; });
    ASSERT_TRUE(m.start());
    EXPECT_GE(m.fd(), 0);
    EXPECT_TRUE(m.start()); // idempotent
    EXPECT_FALSE(m.onReadable());
    EXPECT_EQ(calls, 0);
    m.stop();
    EXPECT_EQ(m.fd(), -1);
    EXPECT_FALSE(m.onReadable());
}

TEST(QtClockChange, StartsOnTheEventLoopAndStops) {
    int argc = 1;
    char name[] = "test_clock_linux";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QtClockChange m;
    int calls = 0;
    m.setHandler([&] { ++calls; });
    ASSERT_TRUE(m.start());
    EXPECT_TRUE(m.start());
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
    m.stop();
}

} // namespace
} // namespace tlv
