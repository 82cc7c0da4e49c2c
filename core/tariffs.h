#pragma once

// Tariff data the server sends with its option commands, and the three algorithms that turn
// a billable time into the amount a self-service customer owes.

#include "core/log.h"

#include <cstdint>
#include <vector>

namespace tlv {

struct TariffRow {
    int64_t durationMs = 0;
    float price = 0;
};

struct TariffData {
    std::vector<TariffRow> table; // ascending durations, from index 0
    int64_t billingIncrementMs = 0;
    int64_t minimumBillingMs = 0;
    int rechargeBased = 0;     // 1 recharge-based, else time-based; 2 also shows the next increment
    int autoOptimise = 0;      // 1 auto-optimised, else simple; 2 also shows the next increment
    int disconnectedRatio = 0; // percent
    int offPeakRatio = 0;      // percent; 0 = off-peak time is not billed
    int64_t offPeakStartMs = 0; // time of day
    int64_t offPeakEndMs = 0;   // time of day
    int timeWarnings = 0;       // 1 = on
    int firstWarningMinutes = 0;
    int secondWarningMinutes = 0;
    int amountWarning = 0; // 1 = on
    float amountWarningStep = 0;
    // Field 4 of the post-paid command: read and kept, used by nothing.
    double postPaidExtra = 0;
};

// What the rate adjustment of the time to the next increment needs to know about now.
struct RateContext {
    int state = 0;
    bool offPeak = false; // the server's time of day is in the off-peak window
};

// The algorithms. Each traps its own errors (empty table, zero duration or increment): amount
// 0, next untouched, and one log line when the fault starts or changes (not on every tick).
class Tariffs {
public:
    explicit Tariffs(Logger& log) : m_failures(log) {}

    TariffData& data() { return m_data; }
    const TariffData& data() const { return m_data; }

    bool funIsOffPeak(int64_t timeOfDayMs) const;

    // Selects the algorithm by the two flags; next is the time to the next increment.
    float funBalanceDue(int64_t billableMs, int64_t& nextMs, const RateContext& rc) const;
    float funBalanceDueTimeBased(int64_t billableMs, int64_t& nextMs, const RateContext& rc) const;
    float funBalanceDueRechargeBasedSimple(int64_t billableMs, int64_t& nextMs,
                                           const RateContext& rc) const;
    float funBalanceDueRechargeBasedAutoOptim(int64_t billableMs) const;

    // next at the current rate: off-peak time in connected mode and disconnected time are
    // consumed at their ratio. A ratio of 0 means the time is not billed: next is left as it is.
    int64_t adjustToRate(int64_t nextMs, const RateContext& rc) const;

private:
    void checkTable() const;
    template <typename Fn>
    float trapped(const char* context, Fn&& fn) const;

    mutable FailureLatch m_failures;
    TariffData m_data;
};

} // namespace tlv
