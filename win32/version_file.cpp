#include "win32/version_file.h"

#include <windows.h>

#include "win32/ansi_text.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

// Written beside the target and moved over it, so a reader never sees half
// an answer and a failure leaves the old one.
unsigned long writeVersionFile(const std::wstring& path, std::string_view version) {
    const std::string bytes = ansiToUtf8(version) + "\r\n";
    const std::wstring temporary = path + L".new";
    DWORD error = ERROR_SUCCESS;
    {
        FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) return GetLastError();
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            error = GetLastError();
        else if (written != bytes.size())
            error = ERROR_DISK_FULL;
        if (!file.reset() && error == ERROR_SUCCESS) error = GetLastError();
    }
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS) DeleteFileW(temporary.c_str());
    return error;
}

}  // namespace updater::win32
