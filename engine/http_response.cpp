#include "engine/http_response.h"

#include <limits>

namespace updater {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

bool isSuccessStatus(std::string_view statusCode) {
    return statusCode.size() == 3 && statusCode[0] == '2' && isDigit(statusCode[1]) && isDigit(statusCode[2]);
}

std::uint64_t parseContentLength(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        const unsigned digit = static_cast<unsigned>(text[pos] - '0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? 0 : value;
}

std::string statusLine(HttpRequest& request) {
    const std::string line = request.statusCode() + " " + request.statusText();
    return std::string(trimBlanks(line));
}

}  // namespace updater
