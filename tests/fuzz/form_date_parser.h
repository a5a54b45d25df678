#pragma once
// A deterministic stand-in for the platform's date parser: "Y-M-D" or
// "Y/M/D", optionally followed by " h:m" or " h:m:s"; "overflow" gives -1,
// "broken" fails the parser; anything else is rejected (0).
#include <string>

#include "engine/platform/date_parser.h"

namespace fuzz {

class FormDateParser : public updater::DateParser {
public:
    updater::DateValue parse(const std::string& text) override;
};

// The OLE date of a day and time (days since 1899-12-30).
double oleDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace fuzz
