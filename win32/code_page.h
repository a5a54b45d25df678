#pragma once
// The system's ANSI code page, as the platform itself judges characters.
#include <bitset>

#include "engine/text/code_page.h"

namespace updater::win32 {

class Win32CodePage : public CodePage {
public:
    // Asks the system once which bytes lead and which may follow.
    Win32CodePage();

    bool isLeadByte(unsigned char byte) const override { return leadBytes_[byte]; }
    bool isTrailByte(unsigned char byte) const override { return trailBytes_[byte]; }
    std::string upperChar(std::string_view character) const override;

private:
    std::bitset<256> leadBytes_;
    std::bitset<256> trailBytes_;
};

}  // namespace updater::win32
