#include "tools/tlvsim/accounts.h"

#include "link/message.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace tlvsim {

double serialDate(int y, int m, int d) {
    // Days from the civil date (proleptic Gregorian) to 1970-01-01, then to 1899-12-30.
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<double>(days + 25569);
}

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool parseDate(const std::string& t, double& out) {
    int y = 0, m = 0, d = 0;
    char a = 0, b = 0;
    std::istringstream in(t);
    if (!(in >> y >> a >> m >> b >> d) || a != '-' || b != '-' || m < 1 || m > 12 || d < 1 ||
        d > 31)
        return false;
    out = serialDate(y, m, d) + 0.99998842592; // valid through the whole day
    return true;
}

double number(const std::string& t) {
    return tlv::funStrToDbl(t);
}

void setOption(Options& o, const std::string& key, const std::vector<std::string>& v) {
    auto need = [&](size_t n) {
        if (v.size() < n)
            throw std::runtime_error("set " + key + ": missing value");
    };
    need(1);
    if (key == "currency")
        o.currency = v[0];
    else if (key == "format") {
        std::string f;
        for (size_t i = 0; i < v.size(); ++i)
            f += (i ? " " : "") + v[i];
        o.amountFormat = f;
    } else if (key == "tariffs") {
        // 30:1.50,60:2.50
        o.tariffs.clear();
        std::istringstream in(v[0]);
        std::string row;
        while (std::getline(in, row, ',')) {
            const size_t c = row.find(':');
            if (c == std::string::npos)
                throw std::runtime_error("set tariffs: MINUTES:PRICE,...");
            o.tariffs.emplace_back(number(row.substr(0, c)),
                                   static_cast<float>(number(row.substr(c + 1))));
        }
    } else if (key == "disconnected-ratio")
        o.disconnectedRatio = static_cast<int>(number(v[0]));
    else if (key == "offpeak") {
        need(3);
        o.offPeakRatio = static_cast<int>(number(v[0]));
        o.offPeakStartHours = number(v[1]);
        o.offPeakEndHours = number(v[2]);
    } else if (key == "language") {
        o.language = v[0];
        o.languageCharset = v.size() > 1 ? static_cast<int>(number(v[1])) : 0;
    } else if (key == "version")
        o.serverVersion = static_cast<int>(number(v[0]));
    else if (key == "pause")
        o.enablePause = static_cast<int>(number(v[0]));
    else if (key == "hide-card")
        o.hideCardNumber = static_cast<int>(number(v[0]));
    else if (key == "heartbeat")
        o.heartBeatCheck = static_cast<int>(number(v[0]));
    else if (key == "attempts")
        o.maxAttempts = static_cast<int>(number(v[0]));
    else if (key == "increment")
        o.billingIncrementMinutes = number(v[0]);
    else if (key == "minimum")
        o.minimumBillingMinutes = number(v[0]);
    else if (key == "warnings") {
        need(3);
        o.timeWarnings = static_cast<int>(number(v[0]));
        o.firstWarning = static_cast<int>(number(v[1]));
        o.secondWarning = static_cast<int>(number(v[2]));
    } else if (key == "killed-apps") {
        // IE MOZILLA NETSCAPE OUTLOOK [NAME*NAME...]
        need(4);
        if (v.size() > 5)
            throw std::runtime_error("set killed-apps: four flags and one list joined by *");
        for (size_t i = 0; i < 4; ++i)
            if (v[i] != "0" && v[i] != "1")
                throw std::runtime_error("set killed-apps: the flags are 0 or 1");
        o.killedApps = v;
    } else
        throw std::runtime_error("unknown option " + key);
}

} // namespace

std::string loadAccounts(const std::string& path, std::map<std::string, Account>& accounts,
                         Options& options) {
    std::ifstream f(path);
    if (!f)
        return "cannot read " + path;
    std::string line;
    int n = 0;
    while (std::getline(f, line)) {
        ++n;
        if (const size_t hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream in(line);
        std::vector<std::string> w;
        for (std::string x; in >> x;)
            w.push_back(x);
        if (w.empty())
            continue;
        try {
            const std::string& kind = w[0];
            if (kind == "card" || kind == "client") {
                const bool client = kind == "client";
                const size_t base = client ? 3 : 2;
                if (w.size() < base + 1)
                    throw std::runtime_error(kind + ": too few words");
                Account a;
                a.client = client;
                a.id = client ? lower(w[1]) : w[1];
                if (client)
                    a.password = w[2];
                a.creditMinutes = number(w[base]);
                a.validity = serialDate(2099, 12, 31);
                for (size_t i = base + 1; i < w.size(); ++i) {
                    if (w[i] == "unlimited")
                        a.unlimited = true;
                    else if (!parseDate(w[i], a.validity))
                        throw std::runtime_error("bad date " + w[i]);
                }
                accounts[a.id] = a;
            } else if (kind == "refuse" && w.size() >= 3) {
                Account& a = accounts[w[1]];
                a.id = w[1];
                a.refusal = static_cast<int>(number(w[2]));
            } else if (kind == "disabled" && w.size() >= 2) {
                accounts[w[1]].deactivated = true;
                accounts[w[1]].id = w[1];
            } else if (kind == "set" && w.size() >= 2) {
                setOption(options, w[1], std::vector<std::string>(w.begin() + 2, w.end()));
            } else {
                throw std::runtime_error("unknown line");
            }
        } catch (const std::exception& e) {
            return path + ":" + std::to_string(n) + ": " + e.what();
        }
    }
    return {};
}

} // namespace tlvsim
