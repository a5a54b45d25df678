// The platform part on Windows: paths are text of the ANSI code page, the
// release's names text of the clients' code page, as the updater reads
// them; links are reparse points, which std::filesystem does not see;
// SHA-256 by CNG.
#include <windows.h>

#include "tools/mkmanifest/platform.h"
#include "tools/mkmanifest/timestamp.h"
#include "win32/cng_sha256.h"
#include "win32/unique_handle.h"

namespace mkmanifest {
namespace {

namespace fs = std::filesystem;
using updater::win32::FileHandle;

std::error_code lastError() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

}  // namespace

fs::path pathOfName(const std::string& name, unsigned codePage) {
    // No character of a multi-byte code page takes more UTF-16 units than bytes.
    std::wstring wide(name.size(), L'\0');
    wide.resize(::MultiByteToWideChar(codePage, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                                      static_cast<int>(wide.size())));
    return wide;
}

fs::path pathFromBytes(const std::string& bytes) { return pathOfName(bytes, CP_ACP); }

std::string bytesOf(const fs::path& path) {
    const std::wstring& wide = path.native();
    std::string bytes(wide.size() * 4, '\0');
    bytes.resize(::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                                       static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

std::optional<std::string> nameInCodePage(const fs::path& leaf, unsigned codePage) {
    const std::wstring& wide = leaf.native();
    std::string bytes(wide.size() * 2, '\0');
    BOOL defaulted = FALSE;
    bytes.resize(::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                       bytes.data(), static_cast<int>(bytes.size()), nullptr, &defaulted));
    if (defaulted || bytes.size() == 0) return std::nullopt;
    return bytes;
}

bool isLink(const fs::path& path, std::error_code& error) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) error = lastError();
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

Destination destinationOf(const fs::path& path, std::error_code& error) {
    const DWORD anyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    FileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, anyShare, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    std::wstring name(32768, L'\0');  // the longest path there is
    DWORD length = 0;
    if (!file || !::GetFileInformationByHandle(file.get(), &info) ||
        !(length = ::GetFinalPathNameByHandleW(file.get(), name.data(), 32768, FILE_NAME_NORMALIZED))) {
        error = lastError();
        return {};
    }
    name.resize(length);
    const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    return {name, folder ? fs::file_type::directory : fs::file_type::regular,
            (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}

void flushToDisk(const fs::path& file, std::error_code& error) {
    FileHandle handle(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle || !::FlushFileBuffers(handle.get())) error = lastError();
}

std::unique_ptr<updater::Sha256Source> platformSha256() {
    return std::make_unique<updater::win32::CngSha256Source>();
}

LocalTime currentLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return {.year = now.wYear,
            .month = now.wMonth,
            .day = now.wDay,
            .hour = now.wHour,
            .minute = now.wMinute,
            .second = now.wSecond};
}

}  // namespace mkmanifest
