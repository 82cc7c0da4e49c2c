#include "core/dates.h"

#include <cmath>
#include <cstdio>

namespace tlv {

namespace {
// About 100 000 years either way: far beyond any real date, far inside int64 milliseconds.
constexpr double kMaxAbsDays = 36'500'000.0;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Hinnant's algorithms).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}
} // namespace

int64_t daysToMs(double days) {
    if (std::isnan(days))
        return 0;
    if (days > kMaxAbsDays)
        days = kMaxAbsDays;
    if (days < -kMaxAbsDays)
        days = -kMaxAbsDays;
    return std::llround(days * static_cast<double>(kMsPerDay));
}

double msToDays(int64_t ms) {
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

int64_t timeOfDayMs(int64_t serialMs) {
    const int64_t r = serialMs % kMsPerDay;
    return r < 0 ? r + kMsPerDay : r;
}

CivilDateTime civilFromSerialMs(int64_t serialMs) {
    const int64_t unixMs = unixMsFromSerialMs(serialMs);
    const int64_t days = floorDiv(unixMs, kMsPerDay);
    int64_t rest = unixMs - days * kMsPerDay;
    CivilDateTime c;
    civilFromDays(days, c.year, c.month, c.day);
    c.hour = static_cast<int>(rest / kMsPerHour);
    rest %= kMsPerHour;
    c.minute = static_cast<int>(rest / kMsPerMinute);
    rest %= kMsPerMinute;
    c.second = static_cast<int>(rest / kMsPerSecond);
    c.millisecond = static_cast<int>(rest % kMsPerSecond);
    return c;
}

int64_t serialMsFromCivil(const CivilDateTime& c) {
    const int64_t days =
        daysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day));
    const int64_t unixMs = days * kMsPerDay + c.hour * kMsPerHour + c.minute * kMsPerMinute +
                           c.second * kMsPerSecond + c.millisecond;
    return serialMsFromUnixMs(unixMs);
}

std::string defaultShortDate(int64_t serialMs) {
    const CivilDateTime c = civilFromSerialMs(serialMs);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

std::string defaultLongTime(int64_t serialMs) {
    const CivilDateTime c = civilFromSerialMs(serialMs);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.hour, c.minute, c.second);
    return buf;
}

} // namespace tlv
