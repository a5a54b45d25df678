#include "app/win32_file_system.h"

#include <windows.h>
#include <oleauto.h>

#include "app/unique_handle.h"
#include "app/win32_output_file.h"

namespace updater::win32 {

bool Win32FileSystem::isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<double> Win32FileSystem::lastWriteLocalDate(const std::string& path) {
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA(path.c_str(), &found));
    if (!search) return std::nullopt;

    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time)) {
        return 0.0;
    }
    // Whole seconds, so that a manifest time of the same second compares equal.
    time.wMilliseconds = 0;
    double date = 0;
    if (!SystemTimeToVariantTime(&time, &date)) return 0.0;
    return date;
}

namespace {

FileHandle createForWriting(const std::string& path, ShareMode share, DWORD disposition = CREATE_ALWAYS) {
    const DWORD shareFlags = share == ShareMode::DenyWriters ? FILE_SHARE_READ : 0;
    return FileHandle(CreateFileA(path.c_str(), GENERIC_WRITE, shareFlags, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::unique_ptr<OutputFile> Win32FileSystem::create(const std::string& path, ShareMode share) {
    FileHandle handle = createForWriting(path, share);
    if (!handle) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

std::unique_ptr<OutputFile> Win32FileSystem::createOrThrow(const std::string& path, ShareMode share) {
    FileHandle handle = createForWriting(path, share);
    if (!handle) {
        const DWORD code = GetLastError();
        throw FileError(FileError::Kind::Create, path, code);
    }
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

std::unique_ptr<OutputFile> Win32FileSystem::createNew(const std::string& path, ShareMode share) {
    // CREATE_NEW fails on anything that exists, a link included, even one
    // whose target is missing: nothing is ever opened through it.
    FileHandle handle = createForWriting(path, share, CREATE_NEW);
    if (!handle) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

std::optional<std::string> Win32FileSystem::readAll(const std::string& path) {
    const FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return std::nullopt;
    std::string content;
    char buffer[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle.get(), buffer, sizeof buffer, &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        content.append(buffer, got);
    }
    return content;
}

bool Win32FileSystem::remove(const std::string& path) {
    if (DeleteFileA(path.c_str())) return true;
    // A read-only file cannot be deleted until the attribute is cleared.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return false;
    return SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) && DeleteFileA(path.c_str());
}

bool Win32FileSystem::replace(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace updater::win32
