#pragma once
// The platform's date parser: text to an OLE date (days since 1899-12-30).
#include <stdexcept>
#include <string>

namespace updater {

struct DateValue {
    double value = 0;    // 0 for rejected text, -1 for overflow
    bool valid = false;
};

// Any parser failure other than rejected text or overflow.
class DateParserError : public std::runtime_error {
public:
    explicit DateParserError(unsigned long code) : std::runtime_error("date parser failure"), code_(code) {}
    unsigned long code() const { return code_; }

private:
    unsigned long code_;
};

class DateParser {
public:
    virtual ~DateParser() = default;
    virtual DateValue parse(const std::string& text) = 0;  // throws DateParserError
};

}  // namespace updater
