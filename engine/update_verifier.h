#pragma once
// What a keyed updater needs of the platform's cryptography: the vendor's
// signature over the manifest, and SHA-256 of each download. Without a
// verifier (a build without a public key) nothing is checked.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace updater {

using Sha256Digest = std::array<std::uint8_t, 32>;
// ECDSA P-256 signature as raw r || s, each 32 bytes big-endian.
using EcdsaSignature = std::array<std::uint8_t, 64>;

// SHA-256 fed chunk by chunk as the body arrives.
class Sha256Hasher {
public:
    virtual ~Sha256Hasher() = default;
    virtual void update(const char* data, std::size_t size) = 0;
    virtual Sha256Digest finish() = 0;  // call once
};

class UpdateVerifier {
public:
    virtual ~UpdateVerifier() = default;
    // True only when signature is the embedded key's ECDSA P-256 signature
    // over the SHA-256 of bytes; any failure of the platform counts as false.
    virtual bool verifySignature(std::string_view bytes, const EcdsaSignature& signature) = 0;
    // Throws std::runtime_error when the platform cannot hash.
    virtual std::unique_ptr<Sha256Hasher> startSha256() = 0;
};

}  // namespace updater
