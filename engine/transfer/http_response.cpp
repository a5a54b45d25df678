#include "engine/transfer/http_response.h"

#include <limits>

#include "engine/text/code_page.h"

namespace updater {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    return true;
}

// Whether any of the comma-separated codings satisfies test.
template <typename Test>
bool anyCoding(std::string_view codings, Test test) {
    while (!codings.empty()) {
        const std::size_t comma = codings.find(',');
        if (test(trimBlanks(codings.substr(0, comma)))) return true;
        if (comma == std::string_view::npos) break;
        codings.remove_prefix(comma + 1);
    }
    return false;
}

// "chunked" in any letter case.
bool namesChunked(std::string_view codings) {
    return anyCoding(codings, [](std::string_view coding) { return equalsIgnoreAsciiCase(coding, "chunked"); });
}

// Anything but "identity" and empty list elements.
bool namesContentCoding(std::string_view codings) {
    return anyCoding(codings, [](std::string_view coding) {
        return !coding.empty() && !equalsIgnoreAsciiCase(coding, "identity");
    });
}

}  // namespace

bool isDocumentStatus(std::string_view statusCode) { return statusCode == "200"; }

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

BodyFraming readBodyFraming(const std::vector<std::string>& contentLengths, std::string_view transferEncoding,
                            std::string_view contentEncoding) {
    BodyFraming framing;
    framing.contentCoded = namesContentCoding(contentEncoding);
    if (framing.contentCoded) framing.contentCoding = std::string(trimBlanks(contentEncoding));
    framing.chunked = namesChunked(transferEncoding);
    std::string_view single;
    bool seen = false;
    for (const std::string& header : contentLengths) {
        std::string_view values = header;
        while (true) {
            const std::size_t comma = values.find(',');
            const std::string_view value = trimBlanks(values.substr(0, comma));
            // An empty list element says nothing; anything else must agree.
            if (!value.empty()) {
                if (seen && value != single) framing.ambiguousLength = true;
                single = value;
                seen = true;
            }
            if (comma == std::string_view::npos) break;
            values.remove_prefix(comma + 1);
        }
    }
    if (!framing.ambiguousLength && !framing.chunked) framing.contentLength = parseContentLength(single);
    return framing;
}

BodyFraming readBodyFraming(HttpRequest& request) {
    const std::vector<std::string> lengths = request.contentLengths();
    return readBodyFraming(lengths, request.transferEncoding(), request.contentEncoding());
}

std::string statusLine(HttpRequest& request) {
    const std::string line = request.statusCode() + " " + request.statusText();
    return std::string(trimBlanks(line));
}

}  // namespace updater
