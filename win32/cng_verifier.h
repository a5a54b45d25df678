#pragma once
// The keyed build's signature check by the Windows CNG API: ECDSA P-256
// over SHA-256. No cryptography of the program's own.
#include <string_view>

#include "win32/unique_handle.h"
#include "win32/cng_sha256.h"
#include "engine/platform/update_verifier.h"

namespace updater::win32 {

class CngVerifier : public UpdateVerifier {
public:
    // publicKey: the 65 bytes 04 || X || Y. A key that CNG does not take
    // makes every signature fail, so a broken build refuses all updates.
    explicit CngVerifier(std::string_view publicKey);

    bool verifySignature(std::string_view bytes, const EcdsaSignature& signature) override;

private:
    AlgorithmHandle ecdsa_;
    KeyHandle key_;
    CngSha256Source sha256_;
};

// The verifier for the public key embedded in this executable; nullptr in a
// build without one.
std::unique_ptr<UpdateVerifier> embeddedKeyVerifier();

}  // namespace updater::win32
