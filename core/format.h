#pragma once

// Duration and amount texts of the status windows, the warnings and the server reports.

#include <cstdint>
#include <string>

namespace tlv {

// Resource texts 10001 "h", 10002 "mn", 10003 "sec" of the current language.
struct TimeUnits {
    std::string h = "h";
    std::string mn = "mn";
    std::string sec = "sec";
};

// funFormatTime on a duration in milliseconds. Parts are taken from whole seconds (truncated),
// so hours, minutes and seconds always agree with each other.
//   0 / other: total hours (two digits at least) ":" mm ":" ss     27:05:09
//   1: "27h 5mn"   2: "27h 5mn 9sec"   3: "0h 1mn 30sec", zero tails dropped
//   4: total minutes                   5: hours, minutes, seconds each only when not 0
// A negative duration is written as its magnitude with a leading "-".
std::string formatTimeMs(int64_t ms, int format, const TimeUnits& units);

// The user-defined numeric format of the amount texts: digit placeholders "0" and "#", the
// decimal point ".", the thousands separator ",", quoted literal text ("..." and \x), up to three
// sections separated by ";" (positive;negative;zero); every other character is literal. An
// empty format gives the general number form. The output separators are those given.
struct NumberSeparators {
    char decimal = '.';
    char thousands = ',';
};
std::string formatNumber(double value, const std::string& format,
                         const NumberSeparators& seps = {});

// funFormatAmount. amountFormat is the caller's stored format: with a currency symbol and a
// format lacking the marker, the marker and a blank are put in front of it (once, since the
// stored format then has the marker). An empty marker disables the marker handling.
std::string funFormatAmount(float amount, std::string& amountFormat, const std::string& marker,
                            const std::string& currencySymbol, const NumberSeparators& seps = {});

} // namespace tlv
