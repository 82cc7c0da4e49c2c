#pragma once

// The session clock: the 100 ms tick that splits the time of a session into connected,
// off-peak, disconnected and no-credit time, bills self-service sessions, counts down prepaid
// credit, warns the customer, ends the credit, and survives changes of the wall clock.

#include "core/format.h"
#include "core/log.h"
#include "core/tariffs.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tlv {

class Clock;
class Logger;
class Scheduler;
class Timer;

// The session record fields of the clock; cleared by subUserInit through SessionClock::clear.
// Durations and dates in whole milliseconds (dates: serial-date milliseconds, see dates.h);
// the wire and the snapshot convert with msToDays / daysToMs.
struct SessionRecord {
    int64_t lastTickMono = 0; // monotonic reading of the previous tick
    int64_t elapsedMs = 0;
    int64_t noCreditMs = 0;
    int64_t sessionMs = 0; // elapsed minus no-credit
    int64_t connectedMs = 0;
    int64_t offPeakMs = 0;
    int64_t disconnectedMs = 0;
    int64_t creditMs = 0;
    int64_t remainingCreditMs = 0;
    int64_t displayedRemainingMs = 0; // also the time to the next increment for self-service
    int64_t validitySerialMs = 0;
    bool unlimited = false;
    float amountDue = 0;
    int32_t lastAmountWarningMultiple = 0;
};

// Texts for the status-window labels, produced on every tick.
struct StatusTexts {
    int sessionType = 0;
    std::string elapsed;   // lblElapsedTimeSelfService, lblElapsedTimeCard: default format
    std::string usedFor;   // 10356 "Workstation used for </resInsert1>", session time format 2
    std::string remaining; // lblRemainTime, lblCliRemainTime, lblSelfServRemainTime
    bool remainingShown = false;     // false: remaining holds 10358 "Unlimited"
    std::string amountDue;           // lblAmountDue (self-service)
    std::string timeToNextIncrement; // lblTimeToNextIncrement; empty unless a flag is 2
    std::string validDate;           // lblValidDate, lblCliValidDate ("Short Date")
    std::string validTime;           // lblValidTime, lblCliValidTime ("Long Time")
};

// What the clock needs from the rest of the client (state machine, link, forms, strings).
class SessionClockHost {
public:
    virtual ~SessionClockHost() = default;
    virtual int workstationState() const = 0;
    virtual int previousState() const = 0;
    virtual int sessionType() const = 0;
    // Immediate report of the exhausted credit to the server (snapshot when offline).
    virtual void subForceUpdate() = 0;
    // previous state = state; state = 8; subShowBlockScreen.
    virtual void enterNoMoreCredit() = 0;
    // funLockSession (state 10) and subShowBlockScreen.
    virtual void lockForClockChange() = 0;
    virtual void funUnPauseSession() = 0;
    // Last server contact = now; send "%$&######ServerDate#" + "%$&######MessageEnd#".
    virtual void requestServerDate() = 0;
    // The program's message box with an OK button and no action.
    virtual void subShowMsgBox(const std::string& text) = 0;
    virtual void setStatusTexts(const StatusTexts& texts) = 0;
    virtual std::string funLoadResString(int id) const = 0;
    // Validity labels in the locale's "Short Date" and "Long Time" forms.
    virtual std::string formatShortDate(int64_t serialMs) const;
    virtual std::string formatLongTime(int64_t serialMs) const;
};

class SessionClock {
public:
    static constexpr int64_t kTickIntervalMs = 100;

    SessionClock(const Clock& clock, Scheduler& scheduler, Logger& log, SessionClockHost& host);
    ~SessionClock();
    SessionClock(const SessionClock&) = delete;
    SessionClock& operator=(const SessionClock&) = delete;

    // subUserInit: every accumulator zero, last tick now, warnings re-armed.
    void clear();

    // tmrSessionStatus: funStartSession runs one tick and enables it; funStopSession runs one
    // more tick and disables it, as do subDisableWksn and shutdown. Enabling restarts the
    // delta, so time while the clock was off is never counted.
    void tmrSessionStatus_Timer();
    void setEnabled(bool enabled);
    bool enabled() const;

    // Commands of the server (payload already parsed; durations and dates as on the wire).
    void onSessionOK(double remainingCredit, double validityDate, int unlimited);
    void onRechargeCard(double addedTime, double validityDate);
    void setPostPaidMode(int rechargeBased, double billingIncrement, double minimumBilling,
                         int autoOptimise, double extra = 0);
    // (duration, price) rows in ascending duration.
    void setDefaultRecharges(const std::vector<std::pair<double, float>>& rows);
    void setRatioDisconCon(int ratio);
    void setOffPeakParams(int ratio, double offPeakEnd, double offPeakStart);
    void setWksnMsgOptions(int timeWarnings, int firstMinutes, int secondMinutes, int amountWarning,
                           float amountStep);
    void setCurrencySymbol(const std::string& symbol, const std::string& amountFormat);
    // The constant genCurrencySymb.
    void setCurrencyMarker(const std::string& marker);
    void setNumberSeparators(const NumberSeparators& seps) { m_seps = seps; }
    // "%$&######ServerDate#": offset recomputed; a session locked by a clock change resumes.
    void onServerDate(double serverDate);
    // The link is up again: a clock change still waiting for the server's date asks again.
    void onServerConnected();
    void setServerTimeOffset(double days);

    // sysInfo_TimeChanged: the wall clock was set.
    void sysInfo_TimeChanged();
    bool clockChanged() const { return m_clockChanged; }

    // Readings.
    SessionRecord& record() { return m_rec; }
    const SessionRecord& record() const { return m_rec; }
    Tariffs& tariffs() { return m_tariffs; }
    const Tariffs& tariffs() const { return m_tariffs; }
    int64_t serverTimeOffsetMs() const { return m_serverOffsetMs; }
    double serverTimeOffsetDays() const;
    // Local wall clock and server time as serial-date milliseconds / days.
    int64_t localNowSerialMs() const;
    int64_t serverNowSerialMs() const;
    double serverNowDays() const;
    const std::string& currencySymbol() const { return m_currencySymbol; }
    const std::string& amountFormat() const { return m_amountFormat; }
    const StatusTexts& statusTexts() const { return m_texts; }

    // Helpers with the current language's units and the stored currency format.
    bool funIsOffPeak(double timeOfDay) const;
    std::string funFormatTime(double duration, int format = 0) const;
    std::string formatTime(int64_t ms, int format = 0) const;
    std::string funFormatAmount(float amount);
    float funBalanceDue(double billable, double& next);

private:
    void tick();
    void selfService(int64_t todMs, int state);
    void prepaid(int64_t todMs, int state, int type, bool& shown);
    void displayedRemaining(int64_t todMs, int state, bool& shown);
    void timeWarning();
    void publishTexts(int type, bool shown);
    int64_t weightedConsumedMs() const;
    TimeUnits units() const;

    const Clock& m_clock;
    Logger& m_log;
    SessionClockHost& m_host;
    Tariffs m_tariffs;
    FailureLatch m_tickFailures;
    std::unique_ptr<Timer> m_tmrSessionStatus;
    SessionRecord m_rec;
    StatusTexts m_texts;
    int64_t m_serverOffsetMs = 0;
    std::string m_currencySymbol;
    std::string m_amountFormat;
    std::string m_currencyMarker = "</currSymbol>";
    NumberSeparators m_seps;
    bool m_clockChanged = false;
    bool m_lockedByClockChange = false;
    // Thresholds already warned about; re-armed when the time rises above them again.
    bool m_warnedFirst = false;
    bool m_warnedSecond = false;
};

} // namespace tlv
