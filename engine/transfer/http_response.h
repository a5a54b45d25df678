#pragma once
// How the engine judges a response: its status, and how its body is framed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/http.h"

namespace updater {

// Only a 200 answer is the document that was asked for; other 2xx answers
// (204, 206, ...) carry nothing or a part of it.
bool isDocumentStatus(std::string_view statusCode);

// The Content-Length text read as atol reads it (leading blanks, sign,
// digits up to the first other byte); 0 when absent, negative or not a
// number; saturates instead of overflowing.
std::uint64_t parseContentLength(std::string_view text);

struct BodyFraming {
    // A content coding other than identity (gzip, ...): the body is not the
    // file's bytes.
    bool contentCoded = false;
    std::string contentCoding;  // the header as sent, for the log
    // Content-Length values that contradict each other: the body's end is unknown.
    bool ambiguousLength = false;
    // Chunked transfer coding, which an HTTP/1.0 request never asks for. The
    // client decodes it, but cannot tell a cut body from a complete one.
    bool chunked = false;
    // The announced length as parseContentLength reads it; 0 when none is usable.
    std::uint64_t contentLength = 0;
};

// Identical repeats (several headers, or a comma-separated list) count as one.
BodyFraming readBodyFraming(const std::vector<std::string>& contentLengths, std::string_view transferEncoding,
                            std::string_view contentEncoding = {});
BodyFraming readBodyFraming(HttpRequest& request);

// "<code> <reason>" without surrounding blanks, for the result list.
std::string statusLine(HttpRequest& request);

}  // namespace updater
