#pragma once
// The check of one download against what its file section promises: the
// SIZE and SHA256 keys, in every build. A keyed build requires both.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/platform/file_system.h"
#include "engine/platform/sha256.h"

namespace updater {

struct ExpectedContent {
    std::optional<std::uint64_t> size;
    std::optional<Sha256Digest> sha256;

    bool promisesAnything() const { return size || sha256; }
    bool promisesEverything() const { return size && sha256; }
    bool operator==(const ExpectedContent&) const = default;
};

// From the SIZE (decimal digits) and SHA256 (64 hex digits) values of a file
// section, each nothing when its key is missing. Nothing at all when a key
// is present with a value that is malformed (empty included).
std::optional<ExpectedContent> readExpectedContent(const std::optional<std::string>& size,
                                                   const std::optional<std::string>& sha256);

// Counts and hashes the body chunk by chunk as it is written.
class ContentCheck {
public:
    // hashes is used only when a SHA-256 is expected; without it no hash matches.
    ContentCheck(Sha256Source* hashes, const ExpectedContent& expected);
    // False once more bytes arrived than expected: the rest need not be read.
    bool add(const char* data, std::size_t size);
    // Whether exactly the promised bytes arrived; call once, after the last chunk.
    bool matches();
    const ExpectedContent& expected() const { return expected_; }
    // After matches() said no: which promise the bytes broke, with what
    // arrived and what was promised ("5 bytes arrived, SIZE 4").
    std::string mismatch() const;

private:
    ExpectedContent expected_;
    std::unique_ptr<Sha256Hasher> hasher_;
    std::optional<Sha256Digest> digest_;  // once matches() hashed the bytes
    std::uint64_t received_ = 0;
};

// The file's SHA-256, read in chunks; nothing when it cannot be read whole.
std::optional<Sha256Digest> fileSha256(FileSystem& files, Sha256Source& hashes, const std::string& path);

}  // namespace updater
