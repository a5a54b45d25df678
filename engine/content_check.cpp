#include "engine/content_check.h"

#include <limits>

#include "engine/manifest_signature.h"

namespace updater {

std::optional<ExpectedContent> readExpectedContent(std::string_view size, std::string_view sha256) {
    ExpectedContent expected;
    if (size.empty() || !decodeHex(sha256, expected.sha256.data(), expected.sha256.size())) return std::nullopt;
    for (const char c : size) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (expected.size > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        expected.size = expected.size * 10 + digit;
    }
    return expected;
}

ContentCheck::ContentCheck(UpdateVerifier& verifier, const ExpectedContent& expected)
    : expected_(expected), hasher_(verifier.startSha256()) {}

bool ContentCheck::add(const char* data, std::size_t size) {
    received_ += size;
    if (received_ > expected_.size) return false;
    hasher_->update(data, size);
    return true;
}

bool ContentCheck::matches() {
    return received_ == expected_.size && hasher_->finish() == expected_.sha256;
}

}  // namespace updater
