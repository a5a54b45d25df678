#include "win32/file_system.h"

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <vector>

#include "engine/manifest/side_files.h"
#include "win32/ansi_text.h"
#include "win32/random_access_file.h"
#include "win32/unique_handle.h"
#include "win32/output_file.h"

namespace updater::win32 {

namespace {

std::string wideToAnsi(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string ansi(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(), size, nullptr, nullptr);
    return ansi;
}

}  // namespace

Win32FileSystem::Win32FileSystem(const std::string& programDirectory)
    : programDirectory_(ansiToWide(programDirectory)) {}

std::optional<HeldFolders> Win32FileSystem::holdFolders(const std::string& path, bool checkLastName) {
    if (programDirectory_.empty()) return HeldFolders{};
    FolderWalk walk = walkBelow(programDirectory_, ansiToWide(path), checkLastName);
    if (walk.refusal == 0) return std::move(walk.held);
    if (EventLog* const log = refusals_.load(); log && walk.refusal == kReparsePointBelowProgramDirectory)
        log->write("refused " + path + ": " + wideToAnsi(walk.refusedAt) +
                   " is a reparse point (a link) below the program directory");
    SetLastError(walk.refusal);
    return std::nullopt;
}

std::optional<LocalEntry> Win32FileSystem::lookUp(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, false);
    if (!held) {
        // Something stands there that no step may pass: as good as a folder.
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
        LocalEntry blocked;
        blocked.directory = true;
        blocked.blocked = true;
        return blocked;
    }
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA(path.c_str(), &found));
    if (!search) return std::nullopt;
    LocalEntry entry;
    entry.directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!entry.directory) entry.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;

    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&found.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time)) return entry;
    // Whole seconds, so that a manifest time of the same second compares equal.
    time.wMilliseconds = 0;
    double date = 0;
    if (SystemTimeToVariantTime(&time, &date)) entry.lastWriteDate = date;
    return entry;
}

namespace {

// Windows will neither move a file over a read-only one nor delete one: the
// attribute of a plain file (not a link) is cleared for a second try, and put
// back when that fails too.
bool evenIfReadOnly(const std::string& path, const std::function<bool()>& change) {
    if (change()) return true;
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & notPlain) || !(attributes & FILE_ATTRIBUTE_READONLY) ||
        !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        SetLastError(code);
        return false;
    }
    if (change()) return true;
    const DWORD again = GetLastError();
    SetFileAttributesA(path.c_str(), attributes);
    SetLastError(again);
    return false;
}

bool moveOver(const std::string& from, const std::string& to) {
    return evenIfReadOnly(to, [&] { return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE; });
}

FileHandle createForWriting(const std::string& path, ShareMode share, DWORD disposition = CREATE_ALWAYS) {
    const DWORD shareFlags = share == ShareMode::DenyWriters ? FILE_SHARE_READ : 0;
    return FileHandle(CreateFileA(path.c_str(), GENERIC_WRITE, shareFlags, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::unique_ptr<OutputFile> Win32FileSystem::create(const std::string& path, ShareMode share) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return nullptr;
    FileHandle handle = createForWriting(path, share);
    if (!handle) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

std::unique_ptr<OutputFile> Win32FileSystem::createOrThrow(const std::string& path, ShareMode share) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    FileHandle handle = held ? createForWriting(path, share) : FileHandle();
    if (!handle) {
        const DWORD code = GetLastError();
        throw FileError(FileError::Kind::Create, path, code);
    }
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

std::unique_ptr<OutputFile> Win32FileSystem::createFresh(const std::string& path, ShareMode share) {
    // The last name is not checked: whatever stands there is replaced.
    const std::optional<HeldFolders> held = holdFolders(path, false);
    if (!held) return nullptr;
    // CREATE_NEW fails on anything that exists, a link included, even one
    // whose target is missing: nothing is ever opened through it.
    FileHandle handle = createForWriting(path, share, CREATE_NEW);
    if (handle) return std::make_unique<Win32OutputFile>(std::move(handle), path);
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return nullptr;
    return replaceWithFreshFile(path, share);
}

// Something stands at the path. It is not deleted, because under Wine
// DeleteFile on a link deletes the link's target (Windows deletes the link).
// A new file made beside it is moved over it instead, which replaces the
// entry itself, link or file, and is then written through its open handle.
std::unique_ptr<OutputFile> Win32FileSystem::replaceWithFreshFile(const std::string& path, ShareMode share) {
    const std::string fresh = path + std::string(kFreshFileSuffix);
    const DWORD shareFlags = (share == ShareMode::DenyWriters ? FILE_SHARE_READ : 0) | FILE_SHARE_DELETE;
    const auto createBeside = [&] {
        return FileHandle(CreateFileA(fresh.c_str(), GENERIC_WRITE | DELETE, shareFlags, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    FileHandle handle = createBeside();
    if (!handle) {
        // A run killed between the two steps left its side file: moved over
        // the path, it frees its own place without ever being deleted.
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return nullptr;
        if (!moveOver(fresh, path) || !(handle = createBeside())) return nullptr;
    }
    if (!moveOver(fresh, path)) {
        handle.reset();
        DeleteFileA(fresh.c_str());
        return nullptr;
    }
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

// Only appends: FILE_APPEND_DATA without FILE_WRITE_DATA writes nothing but
// at the end. A link at the path is refused by the walk, never opened.
std::unique_ptr<OutputFile> Win32FileSystem::openForAppend(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return nullptr;
    FileHandle handle(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(handle), path);
}

// 64 KiB reads: hashing a large file costs little more than reading it.
bool Win32FileSystem::readChunks(const std::string& path,
                                 const std::function<void(const char*, std::size_t)>& sink) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return false;
    const FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) return false;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        sink(buffer.data(), got);
    }
}

std::unique_ptr<RandomAccessInput> Win32FileSystem::openRandomAccess(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return nullptr;
    FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    if (!handle) return nullptr;
    return RandomAccessFile::open(std::move(handle));
}

std::optional<std::string> Win32FileSystem::readAll(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return std::nullopt;
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

unsigned long Win32FileSystem::lastErrorCode() const {
    return GetLastError();
}

bool Win32FileSystem::remove(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, false);
    return held && evenIfReadOnly(path, [&] { return DeleteFileA(path.c_str()) != FALSE; });
}

bool Win32FileSystem::replace(const std::string& from, const std::string& to) {
    const std::optional<HeldFolders> heldFrom = holdFolders(from, false);
    const std::optional<HeldFolders> heldTo = heldFrom ? holdFolders(to, false) : std::nullopt;
    return heldTo && evenIfReadOnly(to, [&] {
               return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
           });
}

bool Win32FileSystem::makeDirectory(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, false);
    return held && CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32FileSystem::removeDirectory(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, false);
    return held && RemoveDirectoryA(path.c_str()) != FALSE;
}

bool Win32FileSystem::makeHiddenDirectory(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, false);
    if (!held || !CreateDirectoryA(path.c_str(), nullptr)) return false;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

std::optional<std::vector<std::pair<std::string, bool>>> Win32FileSystem::listFolder(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return std::nullopt;
    WIN32_FIND_DATAA found;
    const FindHandle search(FindFirstFileA((path + "\\*").c_str(), &found));
    if (!search) return std::nullopt;
    std::vector<std::pair<std::string, bool>> names;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        // A link to a folder is not entered: what lies behind it is not this folder's.
        const DWORD attributes = found.dwFileAttributes;
        names.emplace_back(name, (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT));
    } while (FindNextFileA(search.get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return names;
}

// The folder is opened through any junction or mount point on its way, so
// the serial is that of the volume that really holds it. Under Wine a
// junction is a Unix symbolic link, followed without a trace, so another
// volume cannot be shown there; the decision is tested with a fake.
std::optional<std::uint64_t> Win32FileSystem::volumeOf(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, false);
    if (!held) return std::nullopt;
    const FileHandle handle(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle || !GetFileInformationByHandle(handle.get(), &information)) return std::nullopt;
    return information.dwVolumeSerialNumber;
}

// Write-through makes the write itself reach the disk; the flush also
// carries the file's new size, without which the bytes could not be read.
bool Win32FileSystem::writeDurably(const std::string& path, const std::string& bytes, DWORD access,
                                   DWORD disposition) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return false;
    const FileHandle handle(CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!handle) return false;
    DWORD written = 0;
    return WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && FlushFileBuffers(handle.get());
}

bool Win32FileSystem::appendDurably(const std::string& path, const std::string& bytes) {
    return writeDurably(path, bytes, FILE_APPEND_DATA, OPEN_ALWAYS);
}

// CREATE_NEW: the test that nothing stands there and the creation are one
// step, so two updaters cannot both start a journal.
bool Win32FileSystem::createDurably(const std::string& path, const std::string& bytes) {
    return writeDurably(path, bytes, GENERIC_WRITE, CREATE_NEW);
}

bool Win32FileSystem::flushToDisk(const std::string& path) {
    const std::optional<HeldFolders> held = holdFolders(path, true);
    if (!held) return false;
    const FileHandle handle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle && FlushFileBuffers(handle.get());
}

}  // namespace updater::win32
