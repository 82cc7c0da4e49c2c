#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tlvsim {

// One prepaid card or client account.
struct Account {
    std::string id;       // card number, or client login (lower case)
    std::string password; // client accounts only
    bool client = false;
    double creditMinutes = 0;
    double validity = 0; // serial date
    bool unlimited = false;
    int refusal = 0; // non-zero: every request is refused with this code
    bool deactivated = false;
};

// The café's options pushed to every workstation on connection.
struct Options {
    int serverVersion = 1009300;
    std::string currency = "€";
    std::string amountFormat = "#,##0.00 </currSymbol>";
    // (minutes, price) of the self-service tariff table.
    std::vector<std::pair<double, float>> tariffs{{30, 1.5f}, {60, 2.5f}, {120, 4.5f}};
    int rechargeBased = 0;
    double billingIncrementMinutes = 15;
    double minimumBillingMinutes = 15;
    int autoOptimise = 0;
    int disconnectedRatio = 50;
    int offPeakRatio = 0;
    double offPeakStartHours = 0, offPeakEndHours = 0; // no off-peak window
    int timeWarnings = 1, firstWarning = 5, secondWarning = 1;
    int amountWarning = 0;
    float amountStep = 0;
    std::string language; // "_fr"; empty: not pushed
    int languageCharset = 0;
    int enablePause = 1;
    int hideCardNumber = 0;
    int heartBeatCheck = 30;
    int maxAttempts = 3;
    // The forbidden programs of disconnected mode ("%$&######KilledApps#": the Internet
    // Explorer, Mozilla, Netscape and Outlook Express flags, then the program names joined by
    // "*"); not pushed while empty.
    std::vector<std::string> killedApps;
};

// Reads the accounts file; returns an error text, or empty on success.
// Lines: "card NUMBER MINUTES [YYYY-MM-DD] [unlimited]",
//        "client LOGIN PASSWORD MINUTES [YYYY-MM-DD] [unlimited]",
//        "refuse NUMBER-OR-LOGIN CODE", "disabled NUMBER-OR-LOGIN",
//        "set KEY VALUE" (currency, format, tariffs, disconnected-ratio, offpeak, language,
//        version, pause, hide-card, heartbeat, attempts, increment, minimum, warnings,
//        killed-apps).
std::string loadAccounts(const std::string& path, std::map<std::string, Account>& accounts,
                         Options& options);

// Serial date of a civil date at midnight.
double serialDate(int year, int month, int day);

} // namespace tlvsim
