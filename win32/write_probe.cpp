#include "win32/write_probe.h"

#include <windows.h>

#include "engine/manifest/side_files.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

bool canCreateFilesIn(const std::wstring& directory) {
    const std::wstring name(kWriteProbeName.begin(), kWriteProbeName.end());
    // Delete-on-close: the system removes the file even when the process is killed.
    const FileHandle probe(CreateFileW((directory + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                       nullptr));
    return static_cast<bool>(probe);
}

}  // namespace updater::win32
