#include "win32/write_probe.h"

#include <windows.h>

#include "engine/manifest/side_files.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

namespace {
std::wstring wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }
}  // namespace

bool canCreateFilesIn(const std::wstring& directory) {
    // In the updater's own folder, so that no product file is ever touched;
    // the folder goes again when the probe leaves it empty.
    const std::wstring workFolder = directory + L"\\" + wide(kWorkFolderName);
    if (CreateDirectoryW(workFolder.c_str(), nullptr)) SetFileAttributesW(workFolder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    bool created = false;
    {
        // Delete-on-close: the system removes the file even when the process is killed.
        const FileHandle probe(CreateFileW((workFolder + L"\\" + wide(kWriteProbeName)).c_str(), GENERIC_WRITE, 0,
                                           nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                           nullptr));
        created = static_cast<bool>(probe);
    }
    RemoveDirectoryW(workFolder.c_str());
    return created;
}

}  // namespace updater::win32
