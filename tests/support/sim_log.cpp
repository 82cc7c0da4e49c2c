#include "tests/support/sim_log.h"

#include "link/message.h"
#include "tests/support/temp_root.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace tlv::test {

std::vector<SimEvent> readSimLog(const std::string& path) {
    std::vector<SimEvent> out;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return out;
    const std::string all = readFile(path);
    std::istringstream lines(all.substr(0, all.rfind('\n') + 1));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> parts;
        std::istringstream p(line);
        for (std::string f; std::getline(p, f, '\t');)
            parts.push_back(f);
        if (parts.size() < 3)
            continue;
        SimEvent e;
        e.ms = std::atoll(parts[0].c_str());
        e.kind = parts[1];
        e.ws = std::atoi(parts[2].c_str() + 1);
        e.fields.assign(parts.begin() + 3, parts.end());
        for (const std::string& f : e.fields)
            if (const size_t eq = f.find('='); eq != std::string::npos)
                e.values[f.substr(0, eq)] = f.substr(eq + 1);
        out.push_back(std::move(e));
    }
    return out;
}

double daysToSeconds(const std::string& days) {
    return funStrToDbl(days) * 86400.0;
}

void SimLog::mark() {
    m_mark = readSimLog(m_path).size();
}

std::optional<SimEvent> SimLog::waitFor(const std::function<bool(const SimEvent&)>& pred,
                                        int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (size_t looked = m_mark;;) {
        const std::vector<SimEvent> events = readSimLog(m_path);
        for (; looked < events.size(); ++looked)
            if (pred(events[looked])) {
                m_mark = looked + 1;
                return events[looked];
            }
        if (std::chrono::steady_clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::optional<SimEvent> SimLog::waitState(int state, int timeoutMs) {
    const std::string want = std::to_string(state);
    return waitFor(
        [&](const SimEvent& e) { return e.kind == "report" && e.get("WorkstationState") == want; },
        timeoutMs);
}

std::optional<SimEvent> SimLog::waitReceived(const std::string& keyword, int timeoutMs) {
    return waitFor([&](const SimEvent& e) { return e.received(keyword); }, timeoutMs);
}

std::string SimLog::dump() const {
    std::string out;
    std::string last;
    const std::vector<SimEvent> all = readSimLog(m_path);
    // From a little before the mark: what led up to the step matters too.
    for (size_t i = m_mark > 20 ? m_mark - 20 : 0; i < all.size(); ++i) {
        const SimEvent& e = all[i];
        std::string line = e.kind;
        if (e.kind == "report") {
            line += " state=" + e.get("WorkstationState") + " type=" + e.get("SessionType") +
                    " user=" + e.get("UserID");
        } else {
            for (const std::string& f : e.fields)
                line += " " + f;
        }
        // Reports come twice a second: one line per change.
        if (line != last)
            out += (i == m_mark ? "--- mark\n" : "") + line + "\n";
        last = line;
    }
    return out;
}

} // namespace tlv::test
