#pragma once
// One move-only owner per kind of Win32 handle. The kind fixes both the
// invalid value and the function that releases the handle.
#include <windows.h>

#include <tlhelp32.h>
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

// Tool help snapshots: INVALID_HANDLE_VALUE on failure.
struct SnapshotHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(Handle h) { return CloseHandle(h) != FALSE; }
};
using SnapshotHandle = UniqueHandle<SnapshotHandleTraits>;

// Processes, threads and events: NULL on failure.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static bool close(Handle h) { return CloseHandle(h) != FALSE; }
};
using ProcessHandle = UniqueHandle<KernelHandleTraits>;
using ThreadHandle = UniqueHandle<KernelHandleTraits>;
using EventHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace updater::win32
