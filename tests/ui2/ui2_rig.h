#pragma once

#include "core/localization.h"
#include "core/string_table.h"
#include "ui/form_text.h"

#include <QApplication>

#include <string>
#include <vector>

namespace tlv::test {

// One offscreen application for the whole test executable.
inline void ensureApp() {
    static int argc = 1;
    static char name[] = "test_ui2";
    static char* argv[] = {name, nullptr};
    if (!qApp)
        new QApplication(argc, argv);
}

// The built-in English texts, markup expanded.
inline FormText englishText() {
    return FormText([](int id, const std::vector<std::string>& in) {
        const char* t = builtinString(id);
        auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
        return t ? expandMarkup(t, at(0), at(1), at(2), at(3)) : std::string();
    });
}

inline std::string en(int id, const std::string& insert1 = {}) {
    return expandMarkup(builtinString(id), insert1, {}, {}, {});
}

} // namespace tlv::test
