// Signing keys by OpenSSL's libcrypto (POSIX build).
#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/mkmanifest/manifest_signer.h"
#include "tools/mkmanifest/release_store.h"

namespace mkmanifest {
namespace {

constexpr std::size_t kPointBytes = 65;

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;
using SignaturePtr = std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG, ECDSA_SIG_free>>;

[[noreturn]] void failed(const std::string& what) { throw PublishError(what + " (libcrypto)"); }

// Reads errno first thing: nothing may run between the failing call and here.
[[noreturn]] void systemFailed(const char* what, const std::string& path) {
    const int error = errno;
    throw PublishError(std::string(what) + " " + path + ": " + std::strerror(error));
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Creates the file, never replacing one, and writes all of bytes.
void writeNewFile(const std::string& path, const std::string& bytes, mode_t mode) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "wb");  // fd stays open if this fails; the tool ends then
    if (!file) systemFailed("cannot create", path);
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0 && ::fsync(fd) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) systemFailed("cannot write", path);
}

bool isP256(EVP_PKEY* key) {
    char group[64] = "";
    std::size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           std::strcmp(group, "prime256v1") == 0;
}

class OpenSslSigner : public ManifestSigner {
public:
    explicit OpenSslSigner(KeyPtr key) : key_(std::move(key)) {}

    updater::EcdsaSignature sign(std::string_view bytes) override {
        const DigestContextPtr context(EVP_MD_CTX_new());
        unsigned char der[80];  // a P-256 signature takes at most 72 bytes in DER
        std::size_t length = sizeof der;
        if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
            EVP_DigestSign(context.get(), der, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size()) != 1)
            failed("cannot sign the manifest");

        // libcrypto gives DER; the manifest carries r || s, as CNG verifies it.
        const unsigned char* cursor = der;
        const SignaturePtr parts(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
        if (!parts) failed("cannot read the signature");
        updater::EcdsaSignature raw{};
        if (BN_bn2binpad(ECDSA_SIG_get0_r(parts.get()), raw.data(), 32) != 32 ||
            BN_bn2binpad(ECDSA_SIG_get0_s(parts.get()), raw.data() + 32, 32) != 32)
            failed("cannot read the signature");
        return raw;
    }

private:
    KeyPtr key_;
};

}  // namespace

std::unique_ptr<ManifestSigner> loadSigner(const std::string& privateKeyPath) {
    const BioPtr bio(BIO_new_file(privateKeyPath.c_str(), "rb"));
    if (!bio) systemFailed("cannot read the signing key", privateKeyPath);
    KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key || !isP256(key.get()))
        throw PublishError(privateKeyPath + " holds no ECDSA P-256 private key in PEM (make one with mkmanifest keygen)");
    return std::make_unique<OpenSslSigner>(std::move(key));
}

void writeKeyPair(const std::string& privateKeyPath, const std::string& publicKeyPath) {
    for (const std::string& path : {privateKeyPath, publicKeyPath})
        if (exists(path)) throw PublishError(path + " exists already; keygen never replaces a key");

    const KeyPtr key(EVP_EC_gen("P-256"));
    if (!key) failed("cannot make a P-256 key");

    unsigned char point[kPointBytes];
    std::size_t pointLength = 0;
    if (EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &pointLength) != 1 ||
        pointLength != kPointBytes || point[0] != 0x04)
        failed("cannot read the public key");

    const BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        failed("cannot write the private key");
    char* pem = nullptr;
    const long pemLength = BIO_get_mem_data(bio.get(), &pem);

    writeNewFile(privateKeyPath, std::string(pem, static_cast<std::size_t>(pemLength)), 0600);
    try {
        writeNewFile(publicKeyPath, std::string(reinterpret_cast<const char*>(point), pointLength), 0644);
    } catch (...) {
        ::unlink(privateKeyPath.c_str());  // half a pair is no use
        throw;
    }
}

}  // namespace mkmanifest
