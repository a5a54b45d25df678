#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

#include "win32/unique_handle.h"

#include "tools/mkmanifest/release_store.h"
#include "tools/mkmanifest/sha256.h"

namespace mkmanifest {
namespace {

[[noreturn]] void failed(const char* step, NTSTATUS status) {
    char text[96];
    std::snprintf(text, sizeof text, "SHA-256 failed in %s (status 0x%08lx)", step,
                  static_cast<unsigned long>(status));
    throw PublishError(text);
}

}  // namespace

struct Sha256::State {
    updater::win32::AlgorithmHandle algorithm;
    updater::win32::HashHandle hash;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    NTSTATUS status = ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) failed("BCryptOpenAlgorithmProvider", status);
    state_->algorithm.reset(algorithm);
    BCRYPT_HASH_HANDLE hash = nullptr;
    status = ::BCryptCreateHash(state_->algorithm.get(), &hash, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) failed("BCryptCreateHash", status);
    state_->hash.reset(hash);
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, std::size_t size) {
    // BCryptHashData takes a ULONG length and a non-const pointer.
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        NTSTATUS status = ::BCryptHashData(state_->hash.get(), bytes, part, 0);
        if (!BCRYPT_SUCCESS(status)) failed("BCryptHashData", status);
        bytes += part;
        size -= part;
    }
}

std::string Sha256::finishHex() {
    UCHAR digest[32];
    NTSTATUS status = ::BCryptFinishHash(state_->hash.get(), digest, sizeof digest, 0);
    if (!BCRYPT_SUCCESS(status)) failed("BCryptFinishHash", status);
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (UCHAR byte : digest) {
        text += hex[byte >> 4];
        text += hex[byte & 15];
    }
    return text;
}

}  // namespace mkmanifest
