#include "win32/path_identity.h"

#include <windows.h>

#include "win32/unique_handle.h"

namespace updater::win32 {
namespace {

std::wstring foldedToLowerCase(const std::wstring& text) {
    if (text.empty()) return text;
    // The invariant locale: the same folding on every user's machine.
    std::wstring folded(text.size(), L'\0');
    const int length = LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, text.data(), static_cast<int>(text.size()),
                                    folded.data(), static_cast<int>(folded.size()));
    if (length <= 0) return text;
    folded.resize(static_cast<size_t>(length));
    return folded;
}

std::wstring finalPath(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        // Too small: the answer counts the terminating NUL, a fit does not.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

}  // namespace

std::wstring executablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut: try a larger buffer
    }
}

std::wstring parentDirectory(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring pathIdentity(const std::wstring& path) {
    // Attributes are enough to ask for the name; sharing everything never
    // gets in the way of the program that runs from there. Backup semantics
    // open a folder.
    const FileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring resolved = file ? finalPath(file.get()) : std::wstring();
    return foldedToLowerCase(resolved.empty() ? path : resolved);
}

}  // namespace updater::win32
