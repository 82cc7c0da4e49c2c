#include "platform/linux/system_clock.h"

#include <ctime>

namespace tlv {

static int64_t readMs(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

int64_t SystemClock::monotonicMs() const {
    return readMs(CLOCK_MONOTONIC);
}
int64_t SystemClock::sinceBootMs() const {
    return readMs(CLOCK_BOOTTIME);
}
int64_t SystemClock::utcMs() const {
    return readMs(CLOCK_REALTIME);
}

int64_t SystemClock::localOffsetMs(int64_t utcMs) const {
    const time_t t = static_cast<time_t>(utcMs / 1000);
    tm local{};
    localtime_r(&t, &local);
    return static_cast<int64_t>(local.tm_gmtoff) * 1000;
}

} // namespace tlv
