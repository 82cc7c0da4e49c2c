#pragma once

// Serial dates: days since 30 December 1899 as a double, the fraction being the time of day;
// durations are fractions of a day. The wire and the snapshot carry these doubles; all
// arithmetic in the client works on whole milliseconds so that binary rounding never moves a
// value across a billing boundary.

#include <cstdint>
#include <string>

namespace tlv {

inline constexpr int64_t kMsPerSecond = 1000;
inline constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
inline constexpr int64_t kMsPerHour = 60 * kMsPerMinute;
inline constexpr int64_t kMsPerDay = 24 * kMsPerHour;
// Days from 30 December 1899 to 1 January 1970.
inline constexpr int64_t kSerialEpochDays = 25569;

// Days (a duration or a serial date) to whole milliseconds, rounded to the nearest; values
// outside about +/- 100 000 years are clamped so that a hostile payload cannot overflow.
int64_t daysToMs(double days);
double msToDays(int64_t ms);

// Local wall-clock milliseconds since 1970 to serial-date milliseconds and back.
inline constexpr int64_t serialMsFromUnixMs(int64_t unixMs) {
    return unixMs + kSerialEpochDays * kMsPerDay;
}
inline constexpr int64_t unixMsFromSerialMs(int64_t serialMs) {
    return serialMs - kSerialEpochDays * kMsPerDay;
}
// Time-of-day part of a serial date in milliseconds, 0 <= result < kMsPerDay (also before
// 1899, where the serial number is negative).
int64_t timeOfDayMs(int64_t serialMs);

struct CivilDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
CivilDateTime civilFromSerialMs(int64_t serialMs);
int64_t serialMsFromCivil(const CivilDateTime& c);

// Default renderings of the validity date when no locale-aware formatter is installed:
// "2025-12-06" and "14:30:05".
std::string defaultShortDate(int64_t serialMs);
std::string defaultLongTime(int64_t serialMs);

} // namespace tlv
