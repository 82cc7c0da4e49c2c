#include "core/session_clock.h"

#include "core/dates.h"
#include "core/error.h"
#include "core/log.h"
#include "platform/clock.h"
#include "platform/scheduler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tlv {

namespace {
// String-table ids used by the clock.
constexpr int kResHours = 10001;
constexpr int kResMinutes = 10002;
constexpr int kResSeconds = 10003;
constexpr int kResOnlyHave = 10198;    // "You only have "
constexpr int kResMinutesLeft = 10199; // " minute(s) left."
constexpr int kResYouOwe = 10200;      // "You already owe "
constexpr int kResFullStop = 10201;    // "."
constexpr int kResUsedFor = 10356;     // "Workstation used for </resInsert1>"
constexpr int kResUnlimited = 10358;   // "Unlimited"

int64_t weighted(int64_t ms, int ratioPercent) {
    return std::llround(static_cast<double>(ms) * ratioPercent / 100.0);
}

// remaining / (ratio / 100): the real time the credit lasts at that rate.
int64_t atRate(int64_t ms, int ratioPercent) {
    return std::llround(static_cast<double>(ms) * 100.0 / ratioPercent);
}

std::string replaceInsert(std::string text, const std::string& marker, const std::string& value) {
    const auto pos = text.find(marker);
    if (pos != std::string::npos)
        text.replace(pos, marker.size(), value);
    return text;
}

template <typename Fn>
void trap(Logger& log, const char* context, Fn&& fn) {
    try {
        fn();
    } catch (const TlvError& e) {
        log.subLogError(context, e);
    } catch (const std::exception& e) {
        log.subLogError(context, e);
    }
}
} // namespace

std::string SessionClockHost::formatShortDate(int64_t serialMs) const {
    return defaultShortDate(serialMs);
}

std::string SessionClockHost::formatLongTime(int64_t serialMs) const {
    return defaultLongTime(serialMs);
}

SessionClock::SessionClock(const Clock& clock, Scheduler& scheduler, Logger& log,
                           SessionClockHost& host)
    : m_clock(clock), m_log(log), m_host(host), m_tariffs(log), m_tickFailures(log) {
    m_tmrSessionStatus = scheduler.createTimer([this] { tmrSessionStatus_Timer(); });
    m_tmrSessionStatus->setInterval(kTickIntervalMs);
    m_rec.lastTickMono = m_clock.monotonicMs();
}

SessionClock::~SessionClock() = default;

void SessionClock::clear() {
    m_rec = SessionRecord{};
    m_rec.lastTickMono = m_clock.monotonicMs();
    m_texts = StatusTexts{};
    m_warnedFirst = m_warnedSecond = false;
    m_lockedByClockChange = false;
}

void SessionClock::setEnabled(bool enabled) {
    if (enabled && !m_tmrSessionStatus->enabled())
        m_rec.lastTickMono = m_clock.monotonicMs(); // time while disabled is not counted
    m_tmrSessionStatus->setEnabled(enabled);
}

bool SessionClock::enabled() const {
    return m_tmrSessionStatus->enabled();
}

int64_t SessionClock::localNowSerialMs() const {
    return serialMsFromUnixMs(m_clock.localMs());
}

int64_t SessionClock::serverNowSerialMs() const {
    return localNowSerialMs() + m_serverOffsetMs;
}

double SessionClock::serverNowDays() const {
    return msToDays(serverNowSerialMs());
}

double SessionClock::serverTimeOffsetDays() const {
    return msToDays(m_serverOffsetMs);
}

void SessionClock::setServerTimeOffset(double days) {
    m_serverOffsetMs = daysToMs(days);
}

TimeUnits SessionClock::units() const {
    return TimeUnits{m_host.funLoadResString(kResHours), m_host.funLoadResString(kResMinutes),
                     m_host.funLoadResString(kResSeconds)};
}

std::string SessionClock::formatTime(int64_t ms, int format) const {
    return formatTimeMs(ms, format, units());
}

std::string SessionClock::funFormatTime(double duration, int format) const {
    std::string out;
    trap(m_log, "modFunctions.funFormatTimeError",
         [&] { out = formatTime(daysToMs(duration), format); });
    return out;
}

std::string SessionClock::funFormatAmount(float amount) {
    std::string out;
    trap(m_log, "modFunctions.funFormatAmountError", [&] {
        out = tlv::funFormatAmount(amount, m_amountFormat, m_currencyMarker, m_currencySymbol,
                                   m_seps);
    });
    return out;
}

bool SessionClock::funIsOffPeak(double timeOfDay) const {
    return m_tariffs.funIsOffPeak(timeOfDayMs(daysToMs(timeOfDay)));
}

float SessionClock::funBalanceDue(double billable, double& next) {
    int64_t nextMs = daysToMs(next);
    const int64_t tod = timeOfDayMs(serverNowSerialMs()) / kMsPerSecond * kMsPerSecond;
    const RateContext rc{m_host.workstationState(), m_tariffs.funIsOffPeak(tod)};
    const float amount = m_tariffs.funBalanceDue(daysToMs(billable), nextMs, rc);
    next = msToDays(nextMs);
    return amount;
}

// ---- the tick ------------------------------------------------------------------------------

void SessionClock::tmrSessionStatus_Timer() {
    const uint64_t before = m_tickFailures.failures();
    try {
        tick();
        if (m_tickFailures.failures() == before)
            m_tickFailures.cleared();
    } catch (const std::exception& e) {
        // Ten times a second: a fault that stays is written once.
        m_tickFailures.failed("frmMain.tmrSessionStatus_TimerError", e);
    }
}

void SessionClock::tick() {
    // 1-2. Elapsed time from the monotonic clock: a wall-clock jump can never add or remove
    // session time, even before the change event arrives.
    const int64_t mono = m_clock.monotonicMs();
    int64_t delta = mono - m_rec.lastTickMono;
    if (delta < 0)
        delta = 0;
    m_rec.lastTickMono = mono;
    m_rec.elapsedMs += delta;

    // 3. The server's time of day, in whole seconds.
    const int64_t tod = timeOfDayMs(serverNowSerialMs()) / kMsPerSecond * kMsPerSecond;
    const bool offPeak = m_tariffs.funIsOffPeak(tod);

    // 4. Split by state.
    const int state = m_host.workstationState();
    switch (state) {
    case 6:
    case 7:
        (offPeak ? m_rec.offPeakMs : m_rec.connectedMs) += delta;
        break;
    case 5:
        m_rec.disconnectedMs += delta;
        break;
    case 8:
        m_rec.noCreditMs += delta;
        break;
    default:
        break;
    }
    m_rec.sessionMs = m_rec.elapsedMs - m_rec.noCreditMs;

    // 5-7.
    const int type = m_host.sessionType();
    bool shown = false;
    if (type == 1)
        selfService(tod, state);
    else if (type == 2 || type == 4 || type == 5)
        prepaid(tod, state, type, shown);
    publishTexts(type, shown);
}

int64_t SessionClock::weightedConsumedMs() const {
    const TariffData& d = m_tariffs.data();
    return m_rec.connectedMs + weighted(m_rec.offPeakMs, d.offPeakRatio) +
           weighted(m_rec.disconnectedMs, d.disconnectedRatio);
}

void SessionClock::selfService(int64_t tod, int state) {
    const TariffData& d = m_tariffs.data();
    const RateContext rc{state, m_tariffs.funIsOffPeak(tod)};
    m_rec.amountDue = m_tariffs.funBalanceDue(weightedConsumedMs(), m_rec.displayedRemainingMs, rc);

    if (d.amountWarning == 1 && d.amountWarningStep > 0 && m_rec.amountDue >= d.amountWarningStep) {
        // In ten-thousandths, so that 0.30 / 0.10 is 3 and not 2.9999998.
        const int64_t a =
            std::llround(std::min(static_cast<double>(m_rec.amountDue), 1e12) * 10000);
        const int64_t st = std::max<int64_t>(
            1, std::llround(std::min(static_cast<double>(d.amountWarningStep), 1e12) * 10000));
        const auto m =
            static_cast<int32_t>(std::min<int64_t>(a / st, std::numeric_limits<int32_t>::max()));
        if (m != m_rec.lastAmountWarningMultiple) {
            m_rec.lastAmountWarningMultiple = m;
            m_host.subShowMsgBox(m_host.funLoadResString(kResYouOwe) +
                                 funFormatAmount(m_rec.amountDue) +
                                 m_host.funLoadResString(kResFullStop));
        }
    }
}

void SessionClock::prepaid(int64_t tod, int state, int type, bool& shown) {
    if (m_rec.unlimited)
        return;
    // a. Remaining credit, frozen while there is none.
    if (state != 8)
        m_rec.remainingCreditMs = m_rec.creditMs - weightedConsumedMs();
    // b. Displayed remaining time.
    displayedRemaining(tod, state, shown);
    // c. The validity of the card or account ends the time before the credit does.
    const int64_t now = serverNowSerialMs();
    if (type == 2 || type == 4) {
        if (now + m_rec.displayedRemainingMs > m_rec.validitySerialMs)
            m_rec.displayedRemainingMs = m_rec.validitySerialMs - now;
        if (m_rec.displayedRemainingMs < 0)
            m_rec.displayedRemainingMs = 0;
    }
    // d. Warnings and the end of the credit, only while the session runs.
    if (state != 5 && state != 6)
        return;
    timeWarning();
    if (m_rec.remainingCreditMs <= 0 || m_rec.validitySerialMs <= now) {
        m_rec.remainingCreditMs = 0;
        m_rec.displayedRemainingMs = 0;
        shown = true;
        m_host.subForceUpdate();
        m_host.enterNoMoreCredit();
    }
}

void SessionClock::displayedRemaining(int64_t tod, int state, bool& shown) {
    const TariffData& d = m_tariffs.data();
    int s = state;
    if (s == 9 || s == 10 || s == 11) {
        const int prev = m_host.previousState();
        if (prev != 5 && prev != 6)
            return;
        s = prev;
    }
    const int64_t remaining = m_rec.remainingCreditMs;
    if (s == 6) {
        if (m_tariffs.funIsOffPeak(tod)) {
            if (d.offPeakRatio > 0) {
                m_rec.displayedRemainingMs = atRate(remaining, d.offPeakRatio);
                shown = true;
            } else {
                // Off-peak time is free at a ratio of 0: nothing counts down.
                m_rec.displayedRemainingMs = remaining;
            }
        } else {
            m_rec.displayedRemainingMs = remaining;
            shown = true;
        }
    } else if (s == 5) {
        if (d.disconnectedRatio > 0) {
            m_rec.displayedRemainingMs = atRate(remaining, d.disconnectedRatio);
            shown = true;
        } else {
            m_rec.displayedRemainingMs = remaining;
        }
    }
}

void SessionClock::timeWarning() {
    const TariffData& d = m_tariffs.data();
    if (d.timeWarnings != 1)
        return;
    const int64_t shownMs = m_rec.displayedRemainingMs;
    const std::string text = formatTime(shownMs);
    bool fired = false;
    auto check = [&](int minutes, bool& warned) {
        if (minutes <= 0 || minutes > 99)
            return;
        // Re-armed once the time is above the threshold second again (a recharge).
        if (shownMs >= minutes * kMsPerMinute + kMsPerSecond)
            warned = false;
        char target[16];
        std::snprintf(target, sizeof target, "00:%02d:00", minutes);
        if (text != target || warned)
            return;
        warned = true;
        if (fired)
            return; // both thresholds equal: one message
        fired = true;
        const int64_t m = (shownMs / kMsPerMinute) % 60;
        m_host.subShowMsgBox(m_host.funLoadResString(kResOnlyHave) + std::to_string(m) +
                             m_host.funLoadResString(kResMinutesLeft));
    };
    check(d.firstWarningMinutes, m_warnedFirst);
    check(d.secondWarningMinutes, m_warnedSecond);
}

void SessionClock::publishTexts(int type, bool shown) {
    StatusTexts t;
    t.sessionType = type;
    t.elapsed = formatTime(m_rec.connectedMs + m_rec.offPeakMs + m_rec.disconnectedMs);
    t.usedFor = replaceInsert(m_host.funLoadResString(kResUsedFor), "</resInsert1>",
                              formatTime(m_rec.sessionMs, 2));
    t.remainingShown = shown && !m_rec.unlimited;
    t.remaining = t.remainingShown ? formatTime(m_rec.displayedRemainingMs)
                                   : m_host.funLoadResString(kResUnlimited);
    if (type == 1) {
        const TariffData& d = m_tariffs.data();
        t.amountDue = funFormatAmount(m_rec.amountDue);
        if (d.rechargeBased == 2 || d.autoOptimise == 2)
            t.timeToNextIncrement = formatTime(m_rec.displayedRemainingMs);
    } else if (type == 2 || type == 4 || type == 5) {
        t.validDate = m_host.formatShortDate(m_rec.validitySerialMs);
        t.validTime = m_host.formatLongTime(m_rec.validitySerialMs);
    }
    m_texts = t;
    m_host.setStatusTexts(m_texts);
}

// ---- server commands -----------------------------------------------------------------------

void SessionClock::onSessionOK(double remainingCredit, double validityDate, int unlimited) {
    const int64_t remaining = daysToMs(remainingCredit);
    m_rec.remainingCreditMs = remaining;
    m_rec.validitySerialMs = daysToMs(validityDate);
    m_rec.unlimited = unlimited > 0;
    m_rec.creditMs += remaining;
}

void SessionClock::onRechargeCard(double addedTime, double validityDate) {
    const int64_t added = daysToMs(addedTime);
    m_rec.remainingCreditMs += added;
    m_rec.validitySerialMs = daysToMs(validityDate);
    m_rec.creditMs += added;
    const TariffData& d = m_tariffs.data();
    const int64_t tod = timeOfDayMs(serverNowSerialMs()) / kMsPerSecond * kMsPerSecond;
    if (d.offPeakRatio > 0 && m_tariffs.funIsOffPeak(tod))
        m_rec.displayedRemainingMs = atRate(m_rec.remainingCreditMs, d.offPeakRatio);
    else
        m_rec.displayedRemainingMs = m_rec.remainingCreditMs;
}

void SessionClock::setPostPaidMode(int rechargeBased, double billingIncrement,
                                   double minimumBilling, int autoOptimise, double extra) {
    TariffData& d = m_tariffs.data();
    d.rechargeBased = rechargeBased;
    d.billingIncrementMs = daysToMs(billingIncrement);
    d.minimumBillingMs = daysToMs(minimumBilling);
    d.autoOptimise = autoOptimise;
    d.postPaidExtra = extra;
}

void SessionClock::setDefaultRecharges(const std::vector<std::pair<double, float>>& rows) {
    TariffData& d = m_tariffs.data();
    d.table.clear();
    d.table.reserve(rows.size());
    for (const auto& [duration, price] : rows)
        d.table.push_back(TariffRow{daysToMs(duration), price});
}

void SessionClock::setRatioDisconCon(int ratio) {
    m_tariffs.data().disconnectedRatio = ratio;
}

void SessionClock::setOffPeakParams(int ratio, double offPeakEnd, double offPeakStart) {
    TariffData& d = m_tariffs.data();
    d.offPeakRatio = ratio;
    d.offPeakStartMs = timeOfDayMs(daysToMs(offPeakStart));
    d.offPeakEndMs = timeOfDayMs(daysToMs(offPeakEnd));
    // An end of 1.0 is 24:00, the end of the day, not its start: 0 to 1.0 is the whole day.
    if (d.offPeakEndMs == 0 && offPeakEnd > 0)
        d.offPeakEndMs = kMsPerDay;
}

void SessionClock::setWksnMsgOptions(int timeWarnings, int firstMinutes, int secondMinutes,
                                     int amountWarning, float amountStep) {
    TariffData& d = m_tariffs.data();
    d.timeWarnings = timeWarnings;
    d.firstWarningMinutes = firstMinutes;
    d.secondWarningMinutes = secondMinutes;
    d.amountWarning = amountStep != 0 ? amountWarning : 0;
    d.amountWarningStep = amountStep;
}

void SessionClock::setCurrencySymbol(const std::string& symbol, const std::string& amountFormat) {
    m_currencySymbol = symbol;
    m_amountFormat = amountFormat;
}

void SessionClock::setCurrencyMarker(const std::string& marker) {
    m_currencyMarker = marker;
}

// ---- clock change --------------------------------------------------------------------------

void SessionClock::sysInfo_TimeChanged() {
    trap(m_log, "frmMain.sysInfo_TimeChangedError", [&] {
        const int state = m_host.workstationState();
        if (state > 4) {
            if (state == 5 || state == 6 || state == 7) {
                m_host.lockForClockChange();
                m_lockedByClockChange = true;
            }
            m_rec.lastTickMono = m_clock.monotonicMs();
            m_clockChanged = true;
        }
        m_host.requestServerDate();
    });
}

void SessionClock::onServerDate(double serverDate) {
    m_serverOffsetMs = daysToMs(serverDate) - localNowSerialMs();
    if (!m_clockChanged)
        return;
    // Only the lock this clock put on resumes; a pause the server ordered meanwhile stays.
    const int state = m_host.workstationState();
    const bool resume = m_lockedByClockChange && state == 10;
    m_clockChanged = false;
    m_lockedByClockChange = false;
    if (resume)
        m_host.funUnPauseSession();
}

void SessionClock::onServerConnected() {
    if (m_clockChanged)
        m_host.requestServerDate();
}

} // namespace tlv
