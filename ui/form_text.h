#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace tlv {

// The string-table lookup the forms localize themselves with (funLoadResString: current
// language, markup expanded, up to four inserts).
using ResStringFn = std::function<std::string(int id, const std::vector<std::string>& inserts)>;

class FormText {
public:
    explicit FormText(ResStringFn fn) : m_fn(std::move(fn)) {}
    QString operator()(int id, const std::vector<std::string>& inserts = {}) const {
        return m_fn ? QString::fromStdString(m_fn(id, inserts)) : QString();
    }
    std::string raw(int id, const std::vector<std::string>& inserts = {}) const {
        return m_fn ? m_fn(id, inserts) : std::string();
    }

private:
    ResStringFn m_fn;
};

} // namespace tlv
