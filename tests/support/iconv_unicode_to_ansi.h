#pragma once
// Unicode to code page 936 on the build machine, through the C library's
// iconv: the native stand-in for the platform's conversion.
#include <iconv.h>

#include "engine/unicode_to_ansi.h"

namespace testsupport {

class IconvUnicodeToAnsi : public updater::UnicodeToAnsi {
public:
    IconvUnicodeToAnsi();  // throws std::runtime_error without a CP936 converter
    ~IconvUnicodeToAnsi() override;
    IconvUnicodeToAnsi(const IconvUnicodeToAnsi&) = delete;
    IconvUnicodeToAnsi& operator=(const IconvUnicodeToAnsi&) = delete;

    std::string toAnsi(std::u16string_view text) const override;

private:
    iconv_t converter_;
};

}  // namespace testsupport
