#pragma once
// The vendor's signing key for update.ini, held by the platform's crypto
// library. Key files:
//   private key: PEM (PKCS #8) of an ECDSA P-256 key; keep it off the server;
//   public key:  the 65 bytes 04 || X || Y of the curve point, no header,
//                which the Windows build embeds in Update.exe.
#include <memory>
#include <string>
#include <string_view>

#include "engine/platform/update_verifier.h"

namespace mkmanifest {

class ManifestSigner {
public:
    virtual ~ManifestSigner() = default;
    // ECDSA P-256 over the SHA-256 of bytes, as raw r || s.
    virtual updater::EcdsaSignature sign(std::string_view bytes) = 0;
};

// Throws PublishError naming the file when it cannot be read or holds no
// P-256 private key.
std::unique_ptr<ManifestSigner> loadSigner(const std::string& privateKeyPath);

// Writes a new key pair; refuses to replace an existing file. The private
// key file is readable by its owner only.
void writeKeyPair(const std::string& privateKeyPath, const std::string& publicKeyPath);

// The manifest text followed by a blank line and the signature section over
// everything before that section.
std::string signedManifestText(const std::string& manifest, ManifestSigner& signer);

}  // namespace mkmanifest
