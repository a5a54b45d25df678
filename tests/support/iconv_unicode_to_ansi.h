#pragma once
// Unicode to code page 936 on the build machine, through the C library's
// iconv: the native stand-in for the platform's conversion (cp936_text.cpp).
#include "engine/text/unicode_to_ansi.h"

namespace testsupport {

class IconvUnicodeToAnsi : public updater::UnicodeToAnsi {
public:
    std::string toAnsi(std::u16string_view text) const override;
};

}  // namespace testsupport
