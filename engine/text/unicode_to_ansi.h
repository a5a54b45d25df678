#pragma once
// Unicode text to the ANSI code page, the way the platform converts it for
// byte-string callers: with the system's own table, and "?" for a character
// the code page cannot show. The profile reader needs it for files written in
// UTF-8 or UTF-16.
#include <string>
#include <string_view>

namespace updater {

class UnicodeToAnsi {
public:
    virtual ~UnicodeToAnsi() = default;
    // One character (one or two bytes) for every UTF-16 unit, so each half of
    // a surrogate pair becomes a "?" of its own.
    virtual std::string toAnsi(std::u16string_view text) const = 0;
};

}  // namespace updater
