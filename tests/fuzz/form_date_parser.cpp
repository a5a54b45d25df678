#include "form_date_parser.h"

#include <cstddef>
#include <optional>

namespace fuzz {

namespace {

long daysFromCivil(long year, long month, long day) {
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}
    std::optional<int> number(std::size_t maxDigits) {
        int value = 0;
        std::size_t digits = 0;
        while (pos_ < text_.size() && digits < maxDigits && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value = value * 10 + (text_[pos_++] - '0');
            ++digits;
        }
        return digits ? std::optional<int>(value) : std::nullopt;
    }
    bool take(char c) {
        if (pos_ >= text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool atEnd() const { return pos_ == text_.size(); }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

std::optional<double> parseForm(const std::string& text) {
    Reader in(text);
    const auto year = in.number(4);
    const char separator = in.peek();
    if (!year || *year < 100 || (separator != '-' && separator != '/') || !in.take(separator)) return std::nullopt;
    const auto month = in.number(2);
    if (!month || !in.take(separator)) return std::nullopt;
    const auto day = in.number(2);
    if (!day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    if (in.take(' ')) {
        const auto h = in.number(2);
        if (!h || !in.take(':')) return std::nullopt;
        const auto m = in.number(2);
        if (!m) return std::nullopt;
        std::optional<int> s = 0;
        if (in.take(':')) s = in.number(2);
        if (!s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
        hour = *h, minute = *m, second = *s;
    }
    if (!in.atEnd()) return std::nullopt;
    return oleDate(*year, *month, *day, hour, minute, second);
}

}  // namespace

double oleDate(int year, int month, int day, int hour, int minute, int second) {
    const long days = daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30);
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

updater::DateValue FormDateParser::parse(const std::string& text) {
    if (text == "broken") throw updater::DateParserError(0x8007000E);
    if (text == "overflow") return {-1, false};
    const std::optional<double> value = parseForm(text);
    if (!value) return {0, false};
    return {*value, true};
}

}  // namespace fuzz
