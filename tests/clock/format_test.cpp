#include "core/dates.h"
#include "core/format.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

TEST(FormatTime, SixFormats) {
    const TimeUnits u;
    const int64_t t27 = 27 * kMsPerHour + 5 * kMsPerMinute + 9 * kMsPerSecond;
    struct Case {
        int64_t ms;
        int format;
        const char* text;
    } cases[] = {
        {t27, 0, "27:05:09"},
        {t27, 99, "27:05:09"},
        {0, 0, "00:00:00"},
        {5 * kMsPerMinute - 1, 0, "00:04:59"}, // whole seconds, never rounded up
        {kMsPerHour - 1, 1, "0h 59mn"},
        {t27, 1, "27h 5mn"},
        {t27, 2, "27h 5mn 9sec"},
        {90 * kMsPerSecond, 3, "0h 1mn 30sec"},
        {kMsPerHour, 3, "1h"},
        {kMsPerHour + 5 * kMsPerSecond, 3, "1h 0mn 5sec"},
        {2 * kMsPerHour + 3 * kMsPerMinute, 3, "2h 3mn"},
        {t27, 4, "1625"},
        {0, 5, ""},
        {90 * kMsPerSecond, 5, " 1mn 30sec"},
        {kMsPerHour + 7 * kMsPerSecond, 5, "1h 7sec"},
        {-90 * kMsPerSecond, 0, "-00:01:30"},
        {120 * kMsPerHour, 0, "120:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatTimeMs(c.ms, c.format, u), c.text) << c.ms << " format " << c.format;
    EXPECT_EQ(formatTimeMs(90 * kMsPerSecond, 3, TimeUnits{"Std", "Min", "Sek"}),
              "0Std 1Min 30Sek");
}

TEST(FormatTime, WireDurationsKeepTheirSeconds) {
    // 90 seconds as a fraction of a day is not exact in binary; milliseconds are.
    EXPECT_EQ(formatTimeMs(daysToMs(90.0 / 86400), 3, {}), "0h 1mn 30sec");
    EXPECT_EQ(formatTimeMs(daysToMs(1.0 / 24), 0, {}), "01:00:00");
}

TEST(FormatNumber, UserDefinedFormatSubset) {
    struct Case {
        double value;
        const char* format;
        const char* text;
    } cases[] = {
        {1.5, "0.00", "1.50"},
        {1.875, "0.00", "1.88"}, // half away from zero
        {1.005, "0.00", "1.01"}, // as written, not as the binary neighbour
        {0.5, "#.00", ".50"},
        {0.5, "0.##", "0.5"},
        {2, "0.##", "2."},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {999.995, "#,##0.00", "1,000.00"},
        {12, "000", "012"},
        {0, "#", ""},
        {-1.5, "0.00", "-1.50"},
        {-1.5, "0.00;(0.00)", "(1.50)"},
        {0, "0.00;(0.00);\"free\"", "free"},
        {1.5, "\"EUR \"0.00", "EUR 1.50"},
        {1.5, "0.00 \\$", "1.50 $"},
        {1.5, "", "1.5"},
        {3, "", "3"},
        {-0.001, "0.00", "0.00"},
        {2, "\"abc", "abc"}, // unterminated quote: literal to the end
        {2, "0\\", "2"},     // trailing backslash
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatNumber(c.value, c.format), c.text) << c.value << " " << c.format;
    EXPECT_EQ(formatNumber(1234.5, "#,##0.00", NumberSeparators{',', '.'}), "1.234,50");
}

TEST(FormatAmount, CurrencyMarkerRule) {
    const std::string marker = "</currSymbol>";
    struct Case {
        const char* symbol;
        const char* format;
        float amount;
        const char* text;
        const char* storedAfter;
    } cases[] = {
        {"€", "</currSymbol> 0.00", 1.5f, "€ 1.50", "</currSymbol> 0.00"},
        {"", "</currSymbol> 0.00", 1.5f, "1.50", "</currSymbol> 0.00"},
        {"€", "0.00 </currSymbol>", 1.5f, "1.50 €", "0.00 </currSymbol>"},
        // A format without the marker gets it in front, once.
        {"$", "0.00", 2.0f, "$ 2.00", "</currSymbol> 0.00"},
        {"", "", 1.5f, "1.5", ""},
        // Double blanks collapse; the symbol in front of an empty format keeps the amount.
        {"€", "", 1.5f, "€ 1.5", "</currSymbol> "},
        {"Fr.", "0.00  </currSymbol>", 3.25f, "3.25 Fr.", "0.00  </currSymbol>"},
        {"a\"b", "</currSymbol>0.00", 1.0f, "a\"b1.00", "</currSymbol>0.00"},
    };
    for (const auto& c : cases) {
        std::string stored = c.format;
        EXPECT_EQ(funFormatAmount(c.amount, stored, marker, c.symbol), c.text) << c.format;
        EXPECT_EQ(stored, c.storedAfter) << c.format;
        // A second call changes the stored format no further.
        EXPECT_EQ(funFormatAmount(c.amount, stored, marker, c.symbol), c.text) << c.format;
        EXPECT_EQ(stored, c.storedAfter) << c.format;
    }
    std::string stored = "0.00";
    EXPECT_EQ(funFormatAmount(1.0f, stored, "", "€"), "1.00"); // no marker: never loops
    EXPECT_EQ(stored, "0.00");
}

TEST(SerialDates, CivilRoundTrip) {
    const CivilDateTime c{2025, 12, 6, 14, 30, 5, 42};
    const int64_t s = serialMsFromCivil(c);
    EXPECT_EQ(s / kMsPerDay, 45997); // 6 December 2025 is serial day 45997
    EXPECT_EQ(defaultShortDate(s), "2025-12-06");
    EXPECT_EQ(defaultLongTime(s), "14:30:05");
    EXPECT_EQ(serialMsFromCivil({1899, 12, 30, 0, 0, 0, 0}), 0);
    EXPECT_EQ(timeOfDayMs(-kMsPerHour), 23 * kMsPerHour);
    EXPECT_EQ(daysToMs(1e300), daysToMs(36'500'000.0));
}

} // namespace
} // namespace tlv
