#pragma once

#include "platform/clock.h"
#include "platform/scheduler.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace tlv {

// Virtual clock: time moves only when a test advances it.
class VirtualClock : public Clock {
public:
    int64_t monotonicMs() const override { return m_mono; }
    int64_t sinceBootMs() const override { return m_bootOffset + m_mono; }
    int64_t utcMs() const override { return m_utcBase + m_mono + m_wallJump; }
    int64_t localOffsetMs(int64_t) const override { return m_localOffset; }

    void setSinceBoot(int64_t ms) { m_bootOffset = ms - m_mono; }
    void setUtc(int64_t utcMs) { m_utcBase = utcMs - m_mono - m_wallJump; }
    // A wall-clock change: the monotonic clock does not move.
    void jumpWall(int64_t deltaMs) { m_wallJump += deltaMs; }
    void setLocalOffset(int64_t ms) { m_localOffset = ms; }
    void advanceRaw(int64_t ms) { m_mono += ms; }

private:
    int64_t m_mono = 0;
    int64_t m_bootOffset = 0;
    int64_t m_utcBase = 1'765'000'000'000; // December 2025
    int64_t m_wallJump = 0;
    int64_t m_localOffset = 0;
};

// Fires due timers in order as the test advances the virtual clock.
class VirtualScheduler : public Scheduler {
public:
    explicit VirtualScheduler(VirtualClock& clock) : m_clock(clock) {}
    ~VirtualScheduler() override;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTimeout) override;
    void post(std::function<void()> fn) override;

    // Moves time forward by ms, firing every timer that falls due, in time order (ties in
    // the order they were armed), and running posted work between them.
    void advance(int64_t ms);
    // Runs posted work without moving time.
    void runPending();
    VirtualClock& clock() { return m_clock; }

private:
    friend class VirtualTimer;
    struct Entry;
    void arm(class VirtualTimer* t);
    void disarm(class VirtualTimer* t);
    bool fireNextDue(int64_t until);

    VirtualClock& m_clock;
    std::deque<std::function<void()>> m_posted;
    std::vector<class VirtualTimer*> m_timers;
    uint64_t m_seq = 0;
};

class VirtualTimer : public Timer {
public:
    VirtualTimer(VirtualScheduler* s, std::function<void()> cb) : m_sched(s), m_cb(std::move(cb)) {}
    ~VirtualTimer() override;
    void setInterval(int64_t ms) override;
    int64_t interval() const override { return m_interval; }
    void setSingleShot(bool s) override { m_singleShot = s; }
    void setEnabled(bool e) override;
    bool enabled() const override { return m_enabled; }

private:
    friend class VirtualScheduler;
    VirtualScheduler* m_sched;
    std::function<void()> m_cb;
    int64_t m_interval = 0;
    bool m_singleShot = false;
    bool m_enabled = false;
    int64_t m_due = 0;
    uint64_t m_seq = 0;
};

} // namespace tlv
