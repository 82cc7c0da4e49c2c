#pragma once

#include <cstdint>

namespace tlv {

// Every reading of time goes through this port, so tests run minutes of client life in
// virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic milliseconds; durations are accumulated from this and never from the wall clock.
    virtual int64_t monotonicMs() const = 0;
    // Milliseconds since the machine booted (suspend included).
    virtual int64_t sinceBootMs() const = 0;
    // Wall clock, milliseconds since 1970-01-01 00:00 UTC.
    virtual int64_t utcMs() const = 0;
    // Offset of local time from UTC at the given instant, in milliseconds.
    virtual int64_t localOffsetMs(int64_t utcMs) const = 0;

    int64_t localMs() const {
        const int64_t u = utcMs();
        return u + localOffsetMs(u);
    }
};

} // namespace tlv
