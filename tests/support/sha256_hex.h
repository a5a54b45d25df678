#pragma once
// The SHA-256 of bytes in the lower-case hex the manifest carries, computed
// by OpenSSL, independently of the program's CNG hash. Header-only; its
// users link OpenSSL's libcrypto.
#include <openssl/sha.h>

#include <string>

#include "engine/text/hex_text.h"

namespace testsupport {

inline std::string sha256Hex(const std::string& bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return updater::encodeHex(digest, sizeof digest);
}

}  // namespace testsupport
