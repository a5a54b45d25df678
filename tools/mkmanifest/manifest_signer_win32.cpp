// The Windows build of the tool publishes unsigned manifests only: key files
// are made and used by the Linux build, where OpenSSL reads them.
#include "tools/mkmanifest/manifest_signer.h"
#include "tools/mkmanifest/release_store.h"

namespace mkmanifest {

std::unique_ptr<ManifestSigner> loadSigner(const std::string&) {
    throw PublishError("--sign needs the Linux build of mkmanifest");
}

void writeKeyPair(const std::string&, const std::string&) {
    throw PublishError("keygen needs the Linux build of mkmanifest");
}

}  // namespace mkmanifest
