#pragma once
// Unicode to the system's ANSI code page with the system's own table.
#include "engine/text/unicode_to_ansi.h"

namespace updater::win32 {

class Win32UnicodeToAnsi : public UnicodeToAnsi {
public:
    std::string toAnsi(std::u16string_view text) const override;
};

}  // namespace updater::win32
