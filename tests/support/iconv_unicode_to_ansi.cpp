#include "tests/support/iconv_unicode_to_ansi.h"

#include <stdexcept>

namespace testsupport {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool isSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

IconvUnicodeToAnsi::IconvUnicodeToAnsi() : converter_(iconv_open("CP936", "UTF-16LE")) {
    if (converter_ == kNoConverter) throw std::runtime_error("no iconv converter from UTF-16LE to CP936");
}

IconvUnicodeToAnsi::~IconvUnicodeToAnsi() { iconv_close(converter_); }

std::string IconvUnicodeToAnsi::toAnsi(std::u16string_view text) const {
    std::string ansi;
    ansi.reserve(text.size());
    for (char16_t unit : text) {
        if (unit < 0x80) {
            ansi += static_cast<char>(unit);
            continue;
        }
        // Unit by unit, as the platform's table works: a character the code
        // page lacks, and each half of a surrogate pair, becomes "?".
        char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        char out[4];
        char* inPtr = in;
        char* outPtr = out;
        size_t inLeft = sizeof in, outLeft = sizeof out;
        if (isSurrogate(unit) || iconv(converter_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            iconv(converter_, nullptr, nullptr, nullptr, nullptr);
            ansi += '?';
        } else {
            ansi.append(out, outPtr);
        }
    }
    return ansi;
}

}  // namespace testsupport
