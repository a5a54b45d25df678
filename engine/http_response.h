#pragma once
// How the engine reads a response's status and Content-Length texts.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/http.h"

namespace updater {

// Only a 2xx answer carries the document that was asked for.
bool isSuccessStatus(std::string_view statusCode);

// The Content-Length text read as atol reads it (leading blanks, sign,
// digits up to the first other byte); 0 when absent, negative or not a
// number; saturates instead of overflowing.
std::uint64_t parseContentLength(std::string_view text);

// "<code> <reason>" without surrounding blanks, for the result list.
std::string statusLine(HttpRequest& request);

}  // namespace updater
