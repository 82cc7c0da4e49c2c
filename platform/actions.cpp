#include "platform/actions.h"

#include "platform/clock.h"

#include <fstream>

namespace tlv {

ActionLog::ActionLog(std::string path, const Clock& clock)
    : m_path(std::move(path)), m_clock(clock), m_startMs(clock.monotonicMs()) {}

void ActionLog::record(const std::string& action, const std::vector<std::string>& args) {
    std::string line = std::to_string(m_clock.monotonicMs() - m_startMs) + "\t" + action;
    for (const auto& a : args) {
        line += '\t';
        // One action per line: tabs and line breaks inside an argument would break the format.
        for (char c : a)
            line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
    line += '\n';
    std::ofstream out(m_path, std::ios::app | std::ios::binary);
    out << line;
}

} // namespace tlv
