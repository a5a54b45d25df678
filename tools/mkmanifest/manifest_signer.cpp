#include "tools/mkmanifest/manifest_signer.h"

#include "engine/manifest/manifest_signature.h"

namespace mkmanifest {

std::string signedManifestText(const std::string& manifest, ManifestSigner& signer) {
    const std::string covered = manifest + "\r\n";
    return covered + updater::signatureSectionText(signer.sign(covered));
}

}  // namespace mkmanifest
