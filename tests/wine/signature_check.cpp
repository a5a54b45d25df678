// The updater's CNG checks on files made by mkmanifest, for the end-to-end tests:
//   signature_check verify PUBLIC_KEY MANIFEST   prints "signature valid|invalid|unsigned"
//   signature_check sha256 FILE                  prints "sha256 HEX", hashed in 2048-byte chunks
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "win32/cng_sha256.h"
#include "app/cng_verifier.h"
#include "engine/hex_text.h"
#include "engine/manifest_signature.h"

namespace {

std::optional<std::string> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

int verify(const char* keyPath, const char* manifestPath) {
    const std::optional<std::string> key = readFile(keyPath);
    const std::optional<std::string> manifest = readFile(manifestPath);
    if (!key || !manifest) return 2;
    const std::optional<updater::SignedManifest> split = updater::splitSignedManifest(*manifest);
    if (!split) {
        std::printf("signature unsigned\n");
        return 0;
    }
    updater::win32::CngVerifier verifier(*key);
    std::printf("signature %s\n", verifier.verifySignature(split->signedBytes, split->signature) ? "valid" : "invalid");
    return 0;
}

int sha256(const char* path) {
    const std::optional<std::string> bytes = readFile(path);
    if (!bytes) return 2;
    updater::win32::CngSha256Source sha256;
    std::unique_ptr<updater::Sha256Hasher> hasher = sha256.startSha256();
    for (std::size_t at = 0; at < bytes->size(); at += 2048)
        hasher->update(bytes->data() + at, std::min<std::size_t>(2048, bytes->size() - at));
    const updater::Sha256Digest digest = hasher->finish();
    std::printf("sha256 %s\n", updater::encodeHex(digest.data(), digest.size()).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "verify" && argc == 4) return verify(argv[2], argv[3]);
    if (command == "sha256" && argc == 3) return sha256(argv[2]);
    std::fprintf(stderr, "usage: signature_check verify PUBLIC_KEY MANIFEST | sha256 FILE\n");
    return 2;
}
