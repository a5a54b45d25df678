#include "win32/cng_verifier.h"

#include <cstring>
#include <stdexcept>
#include <vector>

#include "res/resource.h"

namespace updater::win32 {
namespace {

constexpr std::size_t kCoordinateBytes = 32;
constexpr std::size_t kPointBytes = 1 + 2 * kCoordinateBytes;

// The point as CNG imports it: its blob header, then X and Y.
std::vector<UCHAR> publicKeyBlob(std::string_view point) {
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateBytes};
    std::vector<UCHAR> blob(sizeof header + 2 * kCoordinateBytes);
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, point.data() + 1, 2 * kCoordinateBytes);
    return blob;
}

AlgorithmHandle openAlgorithm(LPCWSTR name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0))) return AlgorithmHandle();
    return AlgorithmHandle(handle);
}

}  // namespace

CngVerifier::CngVerifier(std::string_view publicKey)
    : ecdsa_(openAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM)) {
    if (!ecdsa_ || publicKey.size() != kPointBytes || publicKey[0] != '\x04') return;
    std::vector<UCHAR> blob = publicKeyBlob(publicKey);
    BCRYPT_KEY_HANDLE key = nullptr;
    if (BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                           static_cast<ULONG>(blob.size()), 0)))
        key_.reset(key);
}

bool CngVerifier::verifySignature(std::string_view bytes, const EcdsaSignature& signature) {
    if (!key_) return false;
    Sha256Digest digest;
    try {
        const std::unique_ptr<Sha256Hasher> hash = sha256_.startSha256();
        hash->update(bytes.data(), bytes.size());
        digest = hash->finish();
    } catch (const std::runtime_error&) {
        return false;
    }
    EcdsaSignature copy = signature;  // the API takes non-const buffers
    return BCRYPT_SUCCESS(BCryptVerifySignature(key_.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                                                copy.data(), static_cast<ULONG>(copy.size()), 0));
}

std::unique_ptr<UpdateVerifier> embeddedKeyVerifier() {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found =
        FindResourceA(module, MAKEINTRESOURCEA(IDR_UPDATE_PUBLIC_KEY), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!found) return nullptr;
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(module, found);
    // A key resource that cannot be read still makes a keyed build: it refuses.
    return std::make_unique<CngVerifier>(
        bytes ? std::string_view(static_cast<const char*>(bytes), size) : std::string_view());
}

}  // namespace updater::win32
