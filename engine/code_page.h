#pragma once
// Character rules of the ANSI code page: which bytes start a double-byte
// character, and how characters are upper-cased for comparisons.
#include <cstddef>
#include <string>
#include <string_view>

namespace updater {

class CodePage {
public:
    virtual ~CodePage() = default;
    virtual bool isLeadByte(unsigned char byte) const = 0;
    // Upper-cases one character (one byte, or a lead byte and its trail byte).
    virtual std::string upperChar(std::string_view character) const = 0;
};

// Code page 936 (GBK), portable: lead bytes 0x81..0xFE; ASCII letters and the
// full-width Latin, Greek and Cyrillic letters fold to upper case.
class Cp936 : public CodePage {
public:
    bool isLeadByte(unsigned char byte) const override;
    std::string upperChar(std::string_view character) const override;
};

// Whether every byte of 0x80 and above is the lead byte (0x81..0xFE) of a
// pair whose trail byte is valid in code page 936 (0x40..0xFE but 0x7F). The
// platform drops or rewrites what is not, so the text would name another path.
bool isWellFormedCp936(std::string_view text);

// Length in bytes of the character that starts at text[pos] (1 or 2; a lead
// byte at the very end counts as one).
std::size_t charLength(std::string_view text, std::size_t pos, const CodePage& cp);

// Position of the last backslash, found by whole characters, so the trail byte
// of a double-byte character is never taken for one; npos when there is none.
std::size_t findLastBackslash(std::string_view path, const CodePage& cp);

// Program directory of an executable path: with the final "\" kept, and without it.
std::string directoryWithSeparator(std::string_view exePath, const CodePage& cp);
std::string directoryWithoutSeparator(std::string_view exePath, const CodePage& cp);

// Compares character by character, ignoring case as the code page folds it.
bool equalsIgnoreCase(std::string_view a, std::string_view b, const CodePage& cp);

}  // namespace updater
