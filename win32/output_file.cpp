#include "win32/output_file.h"

namespace updater::win32 {

void Win32OutputFile::write(const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle_.get(), data, static_cast<DWORD>(size), &written, nullptr)) {
            const DWORD code = GetLastError();
            throw FileError(FileError::Kind::Write, path_, code);
        }
        // Nothing written without an error: the disk has no room left.
        if (written == 0) throw FileError(FileError::Kind::Write, path_, ERROR_DISK_FULL);
        data += written;
        size -= written;
    }
}

void Win32OutputFile::close() {
    if (!handle_) return;
    if (!handle_.reset()) {
        const DWORD code = GetLastError();
        throw FileError(FileError::Kind::Close, path_, code);
    }
}

}  // namespace updater::win32
