#pragma once
// A stand-in for the platform's ECDSA and SHA-256: deterministic, not secure.
// A "signature" is a keyed digest of the bytes, so a signature made with
// another key, or over other bytes, does not verify.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text/hex_text.h"
#include "engine/manifest/manifest_signature.h"
#include "engine/platform/update_verifier.h"

namespace updater::fakes {

inline Sha256Digest fakeDigest(std::string_view bytes, std::uint64_t key = 0) {
    Sha256Digest digest{};
    for (std::size_t lane = 0; lane < 4; ++lane) {
        std::uint64_t h = 14695981039346656037ull ^ (key * 0x9e3779b97f4a7c15ull) ^ lane;
        for (const char c : bytes) h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
        for (std::size_t i = 0; i < 8; ++i) digest[lane * 8 + i] = static_cast<std::uint8_t>(h >> (8 * i));
    }
    return digest;
}

inline std::string fakeDigestHex(std::string_view bytes) {
    const Sha256Digest digest = fakeDigest(bytes);
    return encodeHex(digest.data(), digest.size());
}

inline EcdsaSignature fakeSignature(std::string_view bytes, std::uint64_t key) {
    const Sha256Digest r = fakeDigest(bytes, key + 1);
    const Sha256Digest s = fakeDigest(bytes, key + 1000);
    EcdsaSignature signature{};
    for (std::size_t i = 0; i < 32; ++i) {
        signature[i] = r[i];
        signature[32 + i] = s[i];
    }
    return signature;
}

// The manifest as the publisher signs it: a blank line, then the section.
inline std::string signedWithKey(const std::string& manifest, std::uint64_t key) {
    const std::string body = manifest + "\r\n";
    return body + signatureSectionText(fakeSignature(body, key));
}

// The stand-in hash of every download, as the program's CNG source would be.
class FakeSha256Source : public Sha256Source {
public:
    int hashesStarted = 0;

    std::unique_ptr<Sha256Hasher> startSha256() override {
        ++hashesStarted;
        return std::make_unique<Hasher>();
    }

private:
    class Hasher : public Sha256Hasher {
    public:
        void update(const char* data, std::size_t size) override { seen_.append(data, size); }
        Sha256Digest finish() override { return fakeDigest(seen_); }

    private:
        std::string seen_;
    };
};

class FakeVerifier : public UpdateVerifier {
public:
    std::uint64_t key = 7;
    std::vector<std::string> verified;  // the bytes each verification covered

    std::string sign(const std::string& manifest) const { return signedWithKey(manifest, key); }

    bool verifySignature(std::string_view bytes, const EcdsaSignature& signature) override {
        verified.emplace_back(bytes);
        return signature == fakeSignature(bytes, key);
    }
};

}  // namespace updater::fakes
