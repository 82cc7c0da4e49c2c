#include "core/tariffs.h"

#include "core/error.h"
#include "core/log.h"

#include <algorithm>
#include <cmath>

namespace tlv {

namespace {
const char* const kSubscript = "Subscript out of range";
const char* const kDivByZero = "Division by zero";

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

// price of one increment of a period of `duration`: price / (duration / increment).
double incrementPrice(const TariffRow& row, int64_t incrementMs) {
    if (row.durationMs <= 0 || incrementMs <= 0)
        throw TlvError(kErrDivByZero, kDivByZero);
    return static_cast<double>(row.price) * static_cast<double>(incrementMs) /
           static_cast<double>(row.durationMs);
}

} // namespace

template <typename Fn>
float Tariffs::trapped(const char* context, Fn&& fn) const {
    // Runs on every tick: a table that cannot bill is written to the log once, not 600 times
    // a minute, and again when the fault changes or comes back after a table that worked.
    const uint64_t before = m_failures.failures();
    try {
        const float amount = fn();
        if (m_failures.failures() == before)
            m_failures.cleared();
        return amount;
    } catch (const std::exception& e) {
        m_failures.failed(context, e);
    }
    return 0;
}

void Tariffs::checkTable() const {
    if (m_data.table.empty())
        throw TlvError(kErrSubscript, kSubscript);
}

bool Tariffs::funIsOffPeak(int64_t t) const {
    const int64_t start = m_data.offPeakStartMs, end = m_data.offPeakEndMs;
    if (start <= end)
        return start <= t && t < end;
    return t >= start || t < end;
}

int64_t Tariffs::adjustToRate(int64_t nextMs, const RateContext& rc) const {
    int ratio = 0;
    if ((rc.state == 6 || rc.state == 7) && rc.offPeak)
        ratio = m_data.offPeakRatio;
    else if (rc.state == 5)
        ratio = m_data.disconnectedRatio;
    else
        return nextMs;
    if (ratio <= 0)
        return nextMs; // time not billed at this rate: no next increment to count down to
    return std::llround(static_cast<double>(nextMs) * 100.0 / ratio);
}

float Tariffs::funBalanceDue(int64_t billableMs, int64_t& nextMs, const RateContext& rc) const {
    return trapped("modFunctions.funBalanceDueError", [&]() -> float {
        if (m_data.rechargeBased != 1)
            return funBalanceDueTimeBased(billableMs, nextMs, rc);
        if (m_data.autoOptimise != 1)
            return funBalanceDueRechargeBasedSimple(billableMs, nextMs, rc);
        return funBalanceDueRechargeBasedAutoOptim(billableMs);
    });
}

float Tariffs::funBalanceDueTimeBased(int64_t T, int64_t& nextMs, const RateContext& rc) const {
    return trapped("modFunctions.funBalanceDueTimeBasedError", [&]() -> float {
        checkTable();
        const auto& tab = m_data.table;
        // Without an increment the time is billed as it runs, to the millisecond.
        const int64_t inc = std::max<int64_t>(1, m_data.billingIncrementMs);
        const int64_t minimum = m_data.minimumBillingMs;
        if (T < 0)
            T = 0;
        if (T <= minimum) {
            if (tab[0].durationMs <= 0)
                throw TlvError(kErrDivByZero, kDivByZero);
            const double amount = static_cast<double>(tab[0].price) * static_cast<double>(minimum) /
                                  static_cast<double>(tab[0].durationMs);
            nextMs = adjustToRate(minimum - T, rc);
            return static_cast<float>(amount);
        }
        double amount = 0;
        int64_t rest = T;
        size_t i = 0;
        for (; i < tab.size(); ++i) {
            if (rest <= tab[i].durationMs)
                break;
            amount += tab[i].price;
            rest -= tab[i].durationMs;
        }
        if (i == tab.size())
            i = tab.size() - 1;
        if (rest != 0) {
            amount += static_cast<double>(ceilDiv(rest, inc)) * incrementPrice(tab[i], inc);
            rest %= inc;
            nextMs = adjustToRate(inc - rest, rc);
        }
        return static_cast<float>(amount);
    });
}

float Tariffs::funBalanceDueRechargeBasedSimple(int64_t T, int64_t& nextMs,
                                                const RateContext& rc) const {
    return trapped("modFunctions.funBalanceDueRechargeBasedSimpleError", [&]() -> float {
        checkTable();
        const auto& tab = m_data.table;
        const TariffRow& last = tab.back();
        // Without an increment the time is billed as it runs, to the millisecond.
        const int64_t inc = std::max<int64_t>(1, m_data.billingIncrementMs);
        if (T < 0)
            T = 0;
        if (T < last.durationMs) {
            for (const auto& row : tab) {
                if (T <= row.durationMs) {
                    nextMs = adjustToRate(row.durationMs - T, rc);
                    return row.price;
                }
            }
        }
        double amount = last.price;
        int64_t over = T - last.durationMs;
        if (over > 0) {
            amount += static_cast<double>(ceilDiv(over, inc)) * incrementPrice(last, inc);
            over %= inc;
            nextMs = adjustToRate(inc - over, rc);
        }
        return static_cast<float>(amount);
    });
}

float Tariffs::funBalanceDueRechargeBasedAutoOptim(int64_t T) const {
    return trapped("modFunctions.funBalanceDueRechargeBasedAutoOptimError", [&]() -> float {
        checkTable();
        const auto& tab = m_data.table;
        const size_t n = tab.size();
        std::vector<int64_t> count(n, 0);
        int64_t rest = T < 0 ? 0 : T;
        for (size_t k = n; k-- > 0;) {
            if (tab[k].durationMs <= 0)
                throw TlvError(kErrDivByZero, kDivByZero);
            count[k] = rest / tab[k].durationMs;
            rest -= count[k] * tab[k].durationMs;
        }
        if (rest != 0)
            count[0] += 1;
        double amount = 0;
        for (size_t k = n; k-- > 0;) {
            amount += static_cast<double>(count[k]) * tab[k].price;
            double lower = 0;
            for (size_t j = 0; j < k; ++j)
                lower += static_cast<double>(count[j]) * tab[j].price;
            // One more recharge of row k is cheaper than all the smaller ones together.
            if (lower > tab[k].price) {
                amount += tab[k].price;
                break;
            }
        }
        return static_cast<float>(amount);
    });
}

} // namespace tlv
