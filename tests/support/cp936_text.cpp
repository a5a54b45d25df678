#include "tests/support/cp936_text.h"

#include <iconv.h>

#include <optional>
#include <stdexcept>

#include "tests/support/iconv_unicode_to_ansi.h"

namespace testsupport {

namespace {

// Nothing when iconv cannot convert the whole text.
std::optional<std::string> convert(std::string_view text, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error(std::string("no iconv for ") + from + " -> " + to);
    std::string input(text);
    std::string output(input.size() * 4 + 4, '\0');
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    const size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) return std::nullopt;
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace

std::string toCp936(std::string_view utf8) {
    if (std::optional<std::string> converted = convert(utf8, "UTF-8", "CP936")) return *converted;
    throw std::runtime_error("cannot convert text to CP936");
}

std::string IconvUnicodeToAnsi::toAnsi(std::u16string_view text) const {
    std::string ansi;
    for (char16_t unit : text) {
        if (unit < 0x80) {
            ansi += static_cast<char>(unit);
            continue;
        }
        // Unit by unit, as the platform's table works: a character the code
        // page lacks, and each half of a surrogate pair, becomes "?".
        const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        const char bytes[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        ansi += surrogate ? "?" : convert({bytes, 2}, "UTF-16LE", "CP936").value_or("?");
    }
    return ansi;
}

}  // namespace testsupport
