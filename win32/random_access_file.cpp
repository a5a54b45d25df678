#include "win32/random_access_file.h"

#include <windows.h>

#include <algorithm>

namespace updater::win32 {

std::unique_ptr<RandomAccessFile> RandomAccessFile::open(FileHandle handle) {
    LARGE_INTEGER size;
    if (!handle || !GetFileSizeEx(handle.get(), &size) || size.QuadPart < 0) return nullptr;
    return std::unique_ptr<RandomAccessFile>(
        new RandomAccessFile(std::move(handle), static_cast<std::uint64_t>(size.QuadPart)));
}

bool RandomAccessFile::readAt(std::uint64_t offset, char* data, std::size_t size) {
    if (offset > size_ || size > size_ - offset) return false;
    while (size > 0) {
        // The offset travels with each read, so no shared file position is relied on.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle_.get(), data, wanted, &got, &at) || got == 0) return false;
        offset += got;
        data += got;
        size -= got;
    }
    return true;
}

}  // namespace updater::win32
