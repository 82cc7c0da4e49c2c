#pragma once

#include <map>
#include <string>
#include <vector>

namespace tlv::test {

// One line of tlvsim's --log: time, event, workstation, fields ("Name=value" for reports).
struct SimEvent {
    long long ms = 0; // since tlvsim started
    std::string kind;
    int ws = 0;
    std::vector<std::string> fields;
    std::map<std::string, std::string> values;
    std::string get(const std::string& name) const {
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

// The whole lines of the log so far.
std::vector<SimEvent> readSimLog(const std::string& path);

// A protocol time (fraction of a day, as sent) in seconds.
double daysToSeconds(const std::string& days);

} // namespace tlv::test
