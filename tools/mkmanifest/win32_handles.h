#pragma once
// Move-only owners of the Win32 and CNG handles the tool uses; each kind
// names its own invalid value and how it is closed.
#include <windows.h>
#include <bcrypt.h>

#include <utility>

namespace mkmanifest {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() {
        if (handle_ != Traits::invalid()) Traits::close(handle_);
    }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Traits::invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const { return handle_; }
    Handle* out() { return &handle_; }  // for APIs that hand the handle back through a pointer
    explicit operator bool() const { return handle_ != Traits::invalid(); }
    // Closing a written file is where a full disk may show; the caller checks it.
    bool close() { return Traits::close(std::exchange(handle_, Traits::invalid())); }

private:
    Handle handle_ = Traits::invalid();
};

struct FileTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(Handle handle) { return ::CloseHandle(handle) != 0; }
};

struct FindTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(Handle handle) { return ::FindClose(handle) != 0; }
};

struct AlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle handle) { return BCRYPT_SUCCESS(::BCryptCloseAlgorithmProvider(handle, 0)); }
};

struct HashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle handle) { return BCRYPT_SUCCESS(::BCryptDestroyHash(handle)); }
};

using FileHandle = UniqueHandle<FileTraits>;
using FindHandle = UniqueHandle<FindTraits>;
using AlgorithmHandle = UniqueHandle<AlgorithmTraits>;
using HashHandle = UniqueHandle<HashTraits>;

}  // namespace mkmanifest
