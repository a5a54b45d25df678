#pragma once
// What a keyed updater needs of the platform's cryptography: the vendor's
// signature over the manifest. Without a verifier (a build without a public
// key) no signature is checked.
#include <array>
#include <cstdint>
#include <string_view>

#include "engine/platform/sha256.h"

namespace updater {

// ECDSA P-256 signature as raw r || s, each 32 bytes big-endian.
using EcdsaSignature = std::array<std::uint8_t, 64>;

class UpdateVerifier {
public:
    virtual ~UpdateVerifier() = default;
    // True only when signature is the embedded key's ECDSA P-256 signature
    // over the SHA-256 of bytes; any failure of the platform counts as false.
    virtual bool verifySignature(std::string_view bytes, const EcdsaSignature& signature) = 0;
};

}  // namespace updater
