#pragma once
// One move-only owner for every kind of Win32, WinInet and CNG handle. The
// kind's traits fix the invalid value and the function that releases it; a
// kind of its own keeps handles of the same type apart (a WinInet session
// cannot be passed where a request is expected).
#include <windows.h>

#include <bcrypt.h>
#include <wininet.h>

#include <utility>

namespace updater::win32 {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    explicit operator bool() const { return handle_ != Traits::invalid(); }
    Handle get() const { return handle_; }
    Handle release() { return std::exchange(handle_, Traits::invalid()); }
    // Releases the handle now; returns false when the system refused.
    bool reset(Handle handle = Traits::invalid()) {
        const Handle old = std::exchange(handle_, handle);
        return old == Traits::invalid() || Traits::close(old);
    }

private:
    Handle handle_ = Traits::invalid();
};

// Files: CreateFileA answers INVALID_HANDLE_VALUE on failure.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(Handle h) { return CloseHandle(h) != FALSE; }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// Directory searches: closed with FindClose, not CloseHandle.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(Handle h) { return FindClose(h) != FALSE; }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// Tool help snapshots fail and close as files do.
using SnapshotHandle = UniqueHandle<FileHandleTraits>;

// Processes, threads and events: NULL on failure.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return CloseHandle(h) != FALSE; }
};
using ProcessHandle = UniqueHandle<KernelHandleTraits>;
using ThreadHandle = UniqueHandle<KernelHandleTraits>;
using EventHandle = UniqueHandle<KernelHandleTraits>;
using MutexHandle = UniqueHandle<KernelHandleTraits>;

// A mutex this thread owns: given up (ReleaseMutex) before the handle is
// closed, so another process finds it free rather than abandoned. Only the
// owning thread may reset it.
struct OwnedMutexTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) {
        const bool released = ReleaseMutex(h) != FALSE;
        return CloseHandle(h) != FALSE && released;
    }
};
using OwnedMutexHandle = UniqueHandle<OwnedMutexTraits>;

// WinInet sessions, connections and requests: NULL on failure.
template <class Kind>
struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return InternetCloseHandle(h) != FALSE; }
};
using SessionHandle = UniqueHandle<InternetHandleTraits<struct SessionKind>>;
using ConnectionHandle = UniqueHandle<InternetHandleTraits<struct ConnectionKind>>;
using RequestHandle = UniqueHandle<InternetHandleTraits<struct RequestKind>>;

// CNG algorithm providers, keys and hashes: NULL on failure.
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

// GDI objects the program made (fonts, bitmaps): NULL on failure. One kind
// each, so a font cannot be selected where a bitmap is expected.
template <typename Object>
struct GdiObjectTraits {
    using Handle = Object;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return DeleteObject(h) != FALSE; }
};
using FontHandle = UniqueHandle<GdiObjectTraits<HFONT>>;
using BitmapHandle = UniqueHandle<GdiObjectTraits<HBITMAP>>;

// Icons loaded at a size of our choosing (not LR_SHARED).
struct IconHandleTraits {
    using Handle = HICON;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return DestroyIcon(h) != FALSE; }
};
using IconHandle = UniqueHandle<IconHandleTraits>;

// Blocks the system allocated with LocalAlloc (CommandLineToArgvW's list).
template <typename Pointer>
struct LocalMemoryTraits {
    using Handle = Pointer;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return LocalFree(h) == nullptr; }
};
using ArgumentListHandle = UniqueHandle<LocalMemoryTraits<wchar_t**>>;

}  // namespace updater::win32
