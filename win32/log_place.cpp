#include "win32/log_place.h"

#include <windows.h>
#include <shlobj.h>

#include "engine/report/event_log.h"
#include "engine/manifest/side_files.h"
#include "win32/ansi_text.h"

namespace updater::win32 {

namespace {

std::wstring localAppData() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH) return buffer;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return buffer;
    return {};
}

// A real folder, made when missing; a link there is refused like a link at the log.
bool isPlainFolder(const std::wstring& path) {
    CreateDirectoryW(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

// Beside the program when the log opens there: trying the log itself, not
// a probe file, keeps a check from ever meeting a running wizard's probe.
std::unique_ptr<FileEventLog> openLog(const std::wstring& programDirectory, std::string_view productName,
                                      bool elevated) {
    const std::wstring name(kLogName.begin(), kLogName.end());
    auto beside = std::make_unique<FileEventLog>(programDirectory + L"\\" + name);
    if (beside->ready()) return beside;
    if (elevated) return std::make_unique<FileEventLog>(std::wstring());
    const std::wstring base = localAppData();
    const std::wstring folder = base + L"\\" + logFolderName(ansiToWide(productName));
    return std::make_unique<FileEventLog>(!base.empty() && isPlainFolder(folder) ? folder + L"\\" + name
                                                                                 : std::wstring());
}

}  // namespace updater::win32
