#include "tools/mkmanifest/timestamp.h"

#include <cstdio>

namespace mkmanifest {
namespace {

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

// Reads `width` digits at text[pos]; -1 when any of them is not a digit.
int digitsAt(std::string_view text, std::size_t pos, std::size_t width) {
    int value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string formatTimestamp(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::optional<LocalTime> parseTimestamp(std::string_view text) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':')
        return std::nullopt;
    LocalTime t;
    t.year = digitsAt(text, 0, 4);
    t.month = digitsAt(text, 5, 2);
    t.day = digitsAt(text, 8, 2);
    t.hour = digitsAt(text, 11, 2);
    t.minute = digitsAt(text, 14, 2);
    t.second = digitsAt(text, 17, 2);
    // The date parser's range starts in year 100; files are younger than 1980.
    if (t.year < 1980 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour < 0 || t.hour > 23 ||
        t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59)
        return std::nullopt;
    if (t.day > daysInMonth(t.year, t.month)) return std::nullopt;
    return t;
}

}  // namespace mkmanifest
