#pragma once

#include <stdexcept>
#include <string>

namespace tlv {

// Classic error numbers used in log lines.
enum ErrNo : int {
    kErrSubscript = 9,     // subscript out of range: a missing field
    kErrTypeMismatch = 13, // a text that is not a number
    kErrFileNotFound = 53,
    kErrPathAccess = 75,
    kErrOverflow = 6,
    kErrDivByZero = 11,
    kErrInvalidCall = 5,
};

// Carries an error from inside a procedure to that procedure's own trap.
class TlvError : public std::runtime_error {
public:
    TlvError(int number, const std::string& description, std::string source = "tlvcli")
        : std::runtime_error(description), m_number(number), m_source(std::move(source)) {}
    int number() const { return m_number; }
    const std::string& source() const { return m_source; }

private:
    int m_number;
    std::string m_source;
};

} // namespace tlv
