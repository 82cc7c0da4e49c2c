#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

class Clock;

// In sandbox mode every action on the PC itself is recorded here instead of being performed:
// one line per action, "<ms since client start>\t<action>\t<arg>...".
class ActionLog {
public:
    ActionLog(std::string path, const Clock& clock);
    void record(const std::string& action, const std::vector<std::string>& args);
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    const Clock& m_clock;
    int64_t m_startMs;
};

} // namespace tlv
