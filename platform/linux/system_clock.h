#pragma once

#include "platform/clock.h"

namespace tlv {

class SystemClock : public Clock {
public:
    int64_t monotonicMs() const override;
    int64_t sinceBootMs() const override;
    int64_t utcMs() const override;
    int64_t localOffsetMs(int64_t utcMs) const override;
};

} // namespace tlv
