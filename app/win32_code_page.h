#pragma once
// The system's ANSI code page, as the platform itself judges characters.
#include "engine/code_page.h"

namespace updater::win32 {

class Win32CodePage : public CodePage {
public:
    bool isLeadByte(unsigned char byte) const override;
    std::string upperChar(std::string_view character) const override;
};

}  // namespace updater::win32
