#pragma once

#include "platform/clock_change.h"

namespace tlv {

// A CLOCK_REALTIME timerfd armed far in the future with TFD_TIMER_CANCEL_ON_SET: the kernel
// makes it readable (read fails with ECANCELED) as soon as the wall clock is set. The owner's
// event loop watches fd() and calls onReadable(); see platform/qt for the Qt wiring.
class TimerfdClockChange : public ClockChangeMonitor {
public:
    TimerfdClockChange() = default;
    ~TimerfdClockChange() override;
    TimerfdClockChange(const TimerfdClockChange&) = delete;
    TimerfdClockChange& operator=(const TimerfdClockChange&) = delete;

    void setHandler(std::function<void()> onChanged) override { m_handler = std::move(onChanged); }
    bool start() override;
    void stop() override;

    int fd() const { return m_fd; }
    // Drains the descriptor, re-arms it and calls the handler when the clock was set.
    // Returns true when a change was seen.
    bool onReadable();

private:
    bool arm();
    int m_fd = -1;
    std::function<void()> m_handler;
};

} // namespace tlv
