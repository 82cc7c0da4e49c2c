#include "platform/fake/virtual_time.h"

#include <algorithm>

namespace tlv {

VirtualScheduler::~VirtualScheduler() {
    for (auto* t : m_timers)
        t->m_sched = nullptr;
}

std::unique_ptr<Timer> VirtualScheduler::createTimer(std::function<void()> onTimeout) {
    auto t = std::make_unique<VirtualTimer>(this, std::move(onTimeout));
    m_timers.push_back(t.get());
    return t;
}

void VirtualScheduler::post(std::function<void()> fn) { m_posted.push_back(std::move(fn)); }

void VirtualScheduler::runPending() {
    while (!m_posted.empty()) {
        auto fn = std::move(m_posted.front());
        m_posted.pop_front();
        fn();
    }
}

void VirtualScheduler::arm(VirtualTimer* t) {
    // A zero interval behaves like the event loop's "as soon as possible", but still one
    // period of at least 1 ms so that a repeating timer cannot spin in place.
    t->m_due = m_clock.monotonicMs() + std::max<int64_t>(t->m_interval, 1);
    t->m_seq = ++m_seq;
}

void VirtualScheduler::disarm(VirtualTimer*) {}

bool VirtualScheduler::fireNextDue(int64_t until) {
    VirtualTimer* next = nullptr;
    for (auto* t : m_timers) {
        if (!t->m_enabled || t->m_due > until)
            continue;
        if (!next || t->m_due < next->m_due || (t->m_due == next->m_due && t->m_seq < next->m_seq))
            next = t;
    }
    if (!next)
        return false;
    if (next->m_due > m_clock.monotonicMs())
        m_clock.advanceRaw(next->m_due - m_clock.monotonicMs());
    if (next->m_singleShot)
        next->m_enabled = false;
    else
        arm(next);
    // The callback may delete the timer: copy it first.
    auto cb = next->m_cb;
    cb();
    runPending();
    return true;
}

void VirtualScheduler::advance(int64_t ms) {
    const int64_t until = m_clock.monotonicMs() + ms;
    runPending();
    while (fireNextDue(until)) {
    }
    if (until > m_clock.monotonicMs())
        m_clock.advanceRaw(until - m_clock.monotonicMs());
}

VirtualTimer::~VirtualTimer() {
    if (m_sched) {
        auto& v = m_sched->m_timers;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
}

void VirtualTimer::setInterval(int64_t ms) {
    m_interval = ms;
    if (m_enabled && m_sched)
        m_sched->arm(this);
}

void VirtualTimer::setEnabled(bool e) {
    const bool wasEnabled = m_enabled;
    m_enabled = e;
    if (e && !wasEnabled && m_sched)
        m_sched->arm(this);
}

} // namespace tlv
