#pragma once
// A keyed updater's check of one download against its signed file section.
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/update_verifier.h"

namespace updater {

struct ExpectedContent {
    std::uint64_t size = 0;
    Sha256Digest sha256{};
};

// From the SIZE (decimal digits) and SHA256 (64 hex digits) values of a file
// section; nothing when either is missing or malformed.
std::optional<ExpectedContent> readExpectedContent(std::string_view size, std::string_view sha256);

// Hashes the body chunk by chunk as it is written.
class ContentCheck {
public:
    ContentCheck(UpdateVerifier& verifier, const ExpectedContent& expected);
    // False once more bytes arrived than expected: the rest need not be read.
    bool add(const char* data, std::size_t size);
    // Whether exactly the expected bytes arrived; call once, after the last chunk.
    bool matches();

private:
    ExpectedContent expected_;
    std::unique_ptr<Sha256Hasher> hasher_;
    std::uint64_t received_ = 0;
};

}  // namespace updater
