#include "platform/linux/timerfd_clock_change.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace tlv {

TimerfdClockChange::~TimerfdClockChange() {
    stop();
}

bool TimerfdClockChange::arm() {
    // An absolute expiry far away: the timer never fires by itself, it only exists so that
    // the kernel cancels it (and wakes us) when CLOCK_REALTIME is set.
    itimerspec when{};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    when.it_value.tv_sec = now.tv_sec + 10L * 365 * 24 * 3600;
    return timerfd_settime(m_fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when, nullptr) == 0;
}

bool TimerfdClockChange::start() {
    if (m_fd >= 0)
        return true;
    m_fd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0)
        return false;
    if (!arm()) {
        stop();
        return false;
    }
    return true;
}

void TimerfdClockChange::stop() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool TimerfdClockChange::onReadable() {
    if (m_fd < 0)
        return false;
    bool changed = false;
    // Bounded: a read reports each change once, then EAGAIN.
    for (int i = 0; i < 16; ++i) {
        uint64_t expirations = 0;
        const ssize_t n = ::read(m_fd, &expirations, sizeof expirations);
        if (n == static_cast<ssize_t>(sizeof expirations))
            continue; // the far expiry passed: just re-arm below
        if (n < 0 && errno == ECANCELED) {
            changed = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: drained
    }
    arm();
    if (changed && m_handler)
        m_handler();
    return changed;
}

} // namespace tlv
