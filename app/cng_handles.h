#pragma once
// Owners of the CNG handles the verifier uses.
#include <windows.h>
#include <bcrypt.h>

#include "app/unique_handle.h"

namespace updater::win32 {

struct AlgorithmHandleTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return BCRYPT_SUCCESS(BCryptCloseAlgorithmProvider(h, 0)); }
};
using AlgorithmHandle = UniqueHandle<AlgorithmHandleTraits>;

struct KeyHandleTraits {
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return BCRYPT_SUCCESS(BCryptDestroyKey(h)); }
};
using KeyHandle = UniqueHandle<KeyHandleTraits>;

struct HashHandleTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return BCRYPT_SUCCESS(BCryptDestroyHash(h)); }
};
using HashHandle = UniqueHandle<HashHandleTraits>;

}  // namespace updater::win32
