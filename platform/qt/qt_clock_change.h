#pragma once

#include "platform/clock_change.h"

#include <memory>

class QSocketNotifier;

namespace tlv {

class TimerfdClockChange;

// The timerfd monitor on the Qt event loop through a QSocketNotifier.
class QtClockChange : public ClockChangeMonitor {
public:
    QtClockChange();
    ~QtClockChange() override;
    void setHandler(std::function<void()> onChanged) override;
    bool start() override;
    void stop() override;

private:
    std::unique_ptr<TimerfdClockChange> m_monitor;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tlv
