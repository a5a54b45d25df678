#include "win32/file_replacement.h"

#include <windows.h>

#include "win32/unique_handle.h"

namespace updater::win32 {

unsigned long replaceFileContent(const std::wstring& path, std::string_view bytes) {
    const std::wstring fresh = path + L".new";
    DeleteFileW(fresh.c_str());
    DWORD error = ERROR_SUCCESS;
    {
        FileHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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
        !MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error != ERROR_SUCCESS) DeleteFileW(fresh.c_str());
    return error;
}

}  // namespace updater::win32
