#pragma once

#include "platform/clock_change.h"

namespace tlv {

// Tests fire the clock-change event by hand (after VirtualClock::jumpWall).
class FakeClockChangeMonitor : public ClockChangeMonitor {
public:
    void setHandler(std::function<void()> onChanged) override { m_handler = std::move(onChanged); }
    bool start() override {
        m_started = true;
        return true;
    }
    void stop() override { m_started = false; }
    bool started() const { return m_started; }
    void fire() {
        if (m_started && m_handler)
            m_handler();
    }

private:
    std::function<void()> m_handler;
    bool m_started = false;
};

} // namespace tlv
