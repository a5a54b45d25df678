#include "engine/manifest/content_check.h"

#include <limits>

#include "engine/text/hex_text.h"

namespace updater {

namespace {

std::optional<std::uint64_t> readSize(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t size = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (size > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        size = size * 10 + digit;
    }
    return size;
}

std::optional<Sha256Digest> readDigest(const std::string& text) {
    Sha256Digest digest{};
    if (!decodeHex(text, digest.data(), digest.size())) return std::nullopt;
    return digest;
}

}  // namespace

std::optional<ExpectedContent> readExpectedContent(const std::optional<std::string>& size,
                                                   const std::optional<std::string>& sha256) {
    ExpectedContent expected;
    if (size && !(expected.size = readSize(*size))) return std::nullopt;
    if (sha256 && !(expected.sha256 = readDigest(*sha256))) return std::nullopt;
    return expected;
}

ContentCheck::ContentCheck(Sha256Source* hashes, const ExpectedContent& expected) : expected_(expected) {
    if (expected_.sha256 && hashes) hasher_ = hashes->startSha256();
}

bool ContentCheck::add(const char* data, std::size_t size) {
    received_ += size;
    if (expected_.size && received_ > *expected_.size) return false;
    if (hasher_) hasher_->update(data, size);
    return true;
}

bool ContentCheck::matches() {
    if (expected_.size && received_ != *expected_.size) return false;
    if (!expected_.sha256) return true;
    if (hasher_) digest_ = hasher_->finish();
    return digest_ == expected_.sha256;
}

std::string ContentCheck::mismatch() const {
    const std::string arrived = std::to_string(received_) + " bytes arrived";
    if (expected_.size && received_ != *expected_.size) return arrived + ", SIZE " + std::to_string(*expected_.size);
    if (!expected_.sha256) return arrived;
    const std::string promised = encodeHex(expected_.sha256->data(), expected_.sha256->size());
    if (!digest_) return arrived + ", SHA256 " + promised + " not checked";
    return arrived + ", SHA-256 " + encodeHex(digest_->data(), digest_->size()) + " where SHA256 is " + promised;
}

std::optional<Sha256Digest> fileSha256(FileSystem& files, Sha256Source& hashes, const std::string& path) {
    std::unique_ptr<Sha256Hasher> hasher = hashes.startSha256();
    if (!files.readChunks(path, [&](const char* data, std::size_t size) { hasher->update(data, size); }))
        return std::nullopt;
    return hasher->finish();
}

}  // namespace updater
