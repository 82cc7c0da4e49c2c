#pragma once

#include <functional>
#include <map>
#include <optional>
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
    // A "received" event of that keyword ("ChatMessage").
    bool received(const std::string& keyword) const {
        return kind == "received" && !fields.empty() && fields[0] == keyword;
    }
    // The fields of a received message ("2||123456|6").
    std::string payload() const { return fields.size() > 1 ? fields[1] : std::string(); }
};

// Whole lines only: a line being written is left for the next read.
std::vector<SimEvent> readSimLog(const std::string& path);

// A protocol time (fraction of a day, as sent) in seconds.
double daysToSeconds(const std::string& days);

// Follows the log of one simulator: waits for events after a mark, so that each step of a test
// looks only at what the server received since the step began.
class SimLog {
public:
    explicit SimLog(std::string path) : m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }
    // Later waits look only at events after the ones seen so far.
    void mark();
    // The first event after the mark that satisfies PRED (the mark moves past it), or nothing
    // after TIMEOUTMS.
    std::optional<SimEvent> waitFor(const std::function<bool(const SimEvent&)>& pred,
                                    int timeoutMs = 15000);
    // A state report of STATE (WorkstationState) after the mark.
    std::optional<SimEvent> waitState(int state, int timeoutMs = 15000);
    std::optional<SimEvent> waitReceived(const std::string& keyword, int timeoutMs = 15000);
    // The events after the mark, for messages.
    std::string dump() const;

private:
    std::string m_path;
    size_t m_mark = 0;
};

} // namespace tlv::test
