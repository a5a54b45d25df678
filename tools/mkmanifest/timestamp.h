#pragma once
// File timestamps of the manifest: local time, whole seconds, in the ISO form
// "YYYY-MM-DD HH:MM:SS", which the platform date parser reads the same way
// in every common locale.
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace mkmanifest {

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    friend bool operator<(const LocalTime& a, const LocalTime& b) {
        return std::tie(a.year, a.month, a.day, a.hour, a.minute, a.second) <
               std::tie(b.year, b.month, b.day, b.hour, b.minute, b.second);
    }
};

std::string formatTimestamp(const LocalTime& time);

// Exactly the ISO form, with a real calendar date; nothing otherwise.
std::optional<LocalTime> parseTimestamp(std::string_view text);

// The clock, read by the platform part.
LocalTime currentLocalTime();

}  // namespace mkmanifest
