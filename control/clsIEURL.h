#pragma once

#include <cstdint>
#include <string>

namespace tlv {

// One remembered browser window of the URL monitor.
struct clsIEURL {
    uint64_t hWnd = 0;
    std::string URL;
    std::string Caption;
    bool Seen = false;
};

} // namespace tlv
