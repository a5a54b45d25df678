// Version texts are read the way C's atof reads decimal text, but parsed here
// rather than by the C library, so that the user's locale (a "," decimal point)
// cannot change the result.
//
// Only the decimal form is accepted. atof would also read "inf", "nan" and
// hexadecimal "0x10"; a version text like that would make every release look
// newer (or never newer), so those read as the number in front of the misfit:
// "inf" and "nan" read 0, "0x10" reads 0.
#include "engine/text/version_number.h"

#include <cmath>
#include <charconv>
#include <string>

namespace updater {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The white space that the C library's isspace accepts in the "C" locale.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

double readVersionNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos])) ++pos;

    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';

    // Collect the digits as "digits.digits" and a decimal exponent; the value
    // is then computed exactly once, from the longest prefix that fits.
    std::string mantissa;
    long long exponent = 0;
    bool anyDigit = false;
    while (pos < text.size() && isDigit(text[pos])) {
        mantissa += text[pos++];
        anyDigit = true;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && isDigit(text[pos])) {
            mantissa += text[pos++];
            --exponent;
            anyDigit = true;
        }
    }
    if (!anyDigit) return 0.0;

    // An exponent counts only when at least one digit follows "e", "e+" or "e-".
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t at = pos + 1;
        bool negativeExponent = false;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) negativeExponent = text[at++] == '-';
        if (at < text.size() && isDigit(text[at])) {
            long long value = 0;
            while (at < text.size() && isDigit(text[at])) {
                if (value < 100000) value = value * 10 + (text[at] - '0');  // beyond this it is inf or 0 anyway
                ++at;
            }
            exponent += negativeExponent ? -value : value;
        }
    }

    // Rebuild the number as "digits e exponent" and let from_chars round it
    // correctly; it never consults the locale.
    std::string literal = mantissa + "e" + std::to_string(exponent);
    double value = 0.0;
    auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // Like atof: overflow gives infinity, underflow zero. The decimal
        // magnitude tells which of the two it was.
        std::size_t firstSignificant = mantissa.find_first_not_of('0');
        long long magnitude = static_cast<long long>(mantissa.size() - firstSignificant) + exponent;
        value = magnitude > 0 ? HUGE_VAL : 0.0;
    }
    return negative ? -value : value;
}

bool isNewerVersion(std::string_view candidate, std::string_view installed) {
    return readVersionNumber(candidate) > readVersionNumber(installed);
}

}  // namespace updater
