#include "tests/support/sim_log.h"

#include "link/message.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tlv::test {

std::vector<SimEvent> readSimLog(const std::string& path) {
    std::vector<SimEvent> out;
    std::ifstream in(path);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream lines(all.substr(0, all.rfind('\n') + 1)); // whole lines only
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

} // namespace tlv::test
