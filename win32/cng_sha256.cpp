#include "win32/cng_sha256.h"

#include <stdexcept>

namespace updater::win32 {
namespace {

class CngSha256 : public Sha256Hasher {
public:
    explicit CngSha256(BCRYPT_ALG_HANDLE algorithm) {
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (!algorithm || !BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)))
            throw std::runtime_error("SHA-256 is not available");
        hash_.reset(hash);
    }

    void update(const char* data, std::size_t size) override {
        // Callers hash in chunks (2 KiB downloads, 1 MiB in mkmanifest), far below the ULONG limit.
        auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data));
        if (!BCRYPT_SUCCESS(BCryptHashData(hash_.get(), bytes, static_cast<ULONG>(size), 0)))
            throw std::runtime_error("SHA-256 failed");
    }

    Sha256Digest finish() override {
        Sha256Digest digest{};
        if (!BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
            throw std::runtime_error("SHA-256 failed");
        return digest;
    }

private:
    HashHandle hash_;
};

}  // namespace

CngSha256Source::CngSha256Source() {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        algorithm_.reset(handle);
}

std::unique_ptr<Sha256Hasher> CngSha256Source::startSha256() {
    return std::make_unique<CngSha256>(algorithm_.get());
}

}  // namespace updater::win32
