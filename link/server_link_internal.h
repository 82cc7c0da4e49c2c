#pragma once

#include "core/error.h"

#include <string>
#include <string_view>
#include <vector>

namespace tlv::linkdetail {

inline const std::string& fieldAt(const std::vector<std::string>& f, size_t i) {
    if (i >= f.size())
        throw TlvError(kErrSubscript, "Subscript out of range");
    return f[i];
}

inline void replaceAll(std::string& s, std::string_view what, std::string_view with) {
    if (what.empty())
        return;
    size_t pos = 0;
    while ((pos = s.find(what, pos)) != std::string::npos) {
        s.replace(pos, what.size(), with);
        pos += with.size();
    }
}

// A string-table text with its "</resInsert1>" and "</resInsert2>" filled.
inline std::string withInserts(std::string text, std::string_view one, std::string_view two = {}) {
    replaceAll(text, "</resInsert1>", one);
    replaceAll(text, "</resInsert2>", two);
    return text;
}

} // namespace tlv::linkdetail
