#include "engine/manifest/trusted_manifest.h"

#include "engine/manifest/manifest_signature.h"

namespace updater {

std::optional<std::string> trustedManifestBytes(UpdateVerifier* verifier, const std::optional<std::string>& copy) {
    if (!verifier) return copy.value_or(std::string());
    if (!copy) return std::nullopt;
    const std::optional<SignedManifest> split = splitSignedManifest(*copy);
    if (!split || !verifier->verifySignature(split->signedBytes, split->signature)) return std::nullopt;
    return std::string(split->signedBytes);
}

}  // namespace updater
