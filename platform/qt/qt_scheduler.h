#pragma once

#include "platform/scheduler.h"

namespace tlv {

// Timers on the Qt event loop of the one client thread.
class QtScheduler : public Scheduler {
public:
    std::unique_ptr<Timer> createTimer(std::function<void()> onTimeout) override;
    void post(std::function<void()> fn) override;
};

} // namespace tlv
