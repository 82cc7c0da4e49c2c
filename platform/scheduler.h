#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tlv {

// A repeating or one-shot timer with the semantics the client relies on: changing the interval
// of an enabled timer restarts its period; enabling an enabled timer changes nothing.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int64_t ms) = 0;
    virtual int64_t interval() const = 0;
    virtual void setSingleShot(bool singleShot) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;

    void start(int64_t ms) {
        setInterval(ms);
        setEnabled(true);
    }
    void stop() { setEnabled(false); }
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // The callback runs on the one client thread; the timer starts disabled.
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> onTimeout) = 0;
    // Runs fn once from the event loop, after the current event has finished. The event-loop
    // implementation may be called from a worker thread; fn still runs on the client thread.
    virtual void post(std::function<void()> fn) = 0;
};

} // namespace tlv
