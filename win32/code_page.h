#pragma once
// The system's ANSI code page. Its rules are the portable tables when the
// system's page is one of them, else what the platform itself says.
#include <bitset>
#include <optional>

#include "engine/text/code_page.h"

namespace updater::win32 {

// The code page as the platform judges characters, measured once.
class MeasuredCodePage : public CodePage {
public:
    MeasuredCodePage();

    bool isLeadByte(unsigned char byte) const override { return leadBytes_[byte]; }
    bool isTrailByte(unsigned char byte) const override { return trailBytes_[byte]; }
    bool isHighSingleByte(unsigned char byte) const override { return highSingleBytes_[byte]; }
    std::string upperChar(std::string_view character) const override;

private:
    std::bitset<256> leadBytes_;
    std::bitset<256> trailBytes_;
    std::bitset<256> highSingleBytes_;
};

// What the program uses: the tables make the same decisions on every
// system of a code page (936 exactly as it always was), and a check under
// Wine holds them to the measured rules.
class Win32CodePage : public CodePage {
public:
    Win32CodePage();

    bool isLeadByte(unsigned char byte) const override { return rules().isLeadByte(byte); }
    bool isTrailByte(unsigned char byte) const override { return rules().isTrailByte(byte); }
    bool isHighSingleByte(unsigned char byte) const override { return rules().isHighSingleByte(byte); }
    std::string upperChar(std::string_view character) const override { return rules().upperChar(character); }

private:
    const CodePage& rules() const { return known_ ? *known_ : *measured_; }

    const CodePage* known_;
    std::optional<MeasuredCodePage> measured_;  // only for a page without a table
};

}  // namespace updater::win32
