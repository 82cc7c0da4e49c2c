#pragma once

#include <functional>

namespace tlv {

// Reports that the wall clock was set (not slewed): the session clock then locks the session
// until the server has sent its date.
class ClockChangeMonitor {
public:
    virtual ~ClockChangeMonitor() = default;
    // The handler runs on the one client thread.
    virtual void setHandler(std::function<void()> onChanged) = 0;
    // False when the facility is missing; the client then runs without clock-change events.
    virtual bool start() = 0;
    virtual void stop() = 0;
};

} // namespace tlv
