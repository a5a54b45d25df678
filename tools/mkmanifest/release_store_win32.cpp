// The release store on Windows: ANSI file APIs, so names are the bytes of
// the ANSI code page, as the updater reads them.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "win32/unique_handle.h"
#include "tools/mkmanifest/platform_store.h"
#include "tools/mkmanifest/sha256.h"
#include "tools/mkmanifest/timestamp.h"

namespace mkmanifest {
namespace {

using updater::win32::FileHandle;
using updater::win32::FindHandle;

constexpr DWORD kChunkBytes = 1 << 20;
constexpr const char* kTempSuffix = ".mkmanifest-tmp";

std::string systemText(DWORD error) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "error " + std::to_string(error);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The caller captures GetLastError() right after the failing call.
[[noreturn]] void fail(const char* what, const std::string& path, DWORD error) {
    throw PublishError(std::string(what) + " " + path + ": " + systemText(error));
}

// Separators and letters are found by whole characters of the ANSI code
// page, so a trail byte that equals "\" is never taken for one.
std::size_t lastSeparator(const std::string& path) {
    std::size_t found = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
        } else if (path[i] == '\\' || path[i] == '/') {
            found = i;
        }
    }
    return found;
}

std::string foldedAscii(std::string path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
            ++i;
        } else if (path[i] >= 'A' && path[i] <= 'Z') {
            path[i] = static_cast<char>(path[i] - 'A' + 'a');
        } else if (path[i] == '/') {
            path[i] = '\\';
        }
    }
    return path;
}

std::string join(const std::string& root, const std::string& name) {
    std::string native = name;
    std::replace(native.begin(), native.end(), '/', '\\');  // "/" is never a trail byte
    if (root.empty()) return native;
    bool separated = lastSeparator(root) == root.size() - 1;
    return separated ? root + native : root + "\\" + native;
}

std::string fullPath(const std::string& path) {
    char buffer[MAX_PATH * 4];
    DWORD length = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (length == 0 || length >= sizeof buffer) fail("cannot resolve", path, ::GetLastError());
    std::string full(buffer, length);
    if (full.size() > 3 && lastSeparator(full) == full.size() - 1) full.pop_back();
    return foldedAscii(full);
}

bool isInside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (folder.back() == '\\' || path[folder.size()] == '\\');
}

// Where a path really leads, links resolved.
std::string finalPath(const std::string& path) {
    FileHandle handle(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) fail("cannot follow", path, ::GetLastError());
    char buffer[MAX_PATH * 4];
    DWORD length = ::GetFinalPathNameByHandleA(handle.get(), buffer, sizeof buffer, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof buffer) fail("cannot follow", path, ::GetLastError());
    return foldedAscii(std::string(buffer, length));
}

void makeFolders(const std::string& path) {
    if (path.empty()) return;
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) throw PublishError(path + " is not a folder");
        return;
    }
    std::size_t separator = lastSeparator(path);
    if (separator != std::string::npos && separator > 0) makeFolders(path.substr(0, separator));
    if (!::CreateDirectoryA(path.c_str(), nullptr)) {
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) fail("cannot create folder", path, error);
    }
}

FileHandle openForReading(const std::string& path) {
    FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) fail("cannot open", path, ::GetLastError());
    return file;
}

bool isMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

void writeAll(const FileHandle& file, const std::string& path, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD part = size > kChunkBytes ? kChunkBytes : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file.get(), data, part, &written, nullptr)) fail("cannot write", path, ::GetLastError());
        data += written;
        size -= written;
    }
}

// Reads the whole file; each chunk also goes to sink (may be null).
FileDigest digestOf(const FileHandle& file, const std::string& path, const FileHandle* sink,
                    const std::string& sinkPath) {
    std::vector<char> buffer(kChunkBytes);
    Sha256 sha;
    FileDigest digest;
    while (true) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer.data(), kChunkBytes, &got, nullptr))
            fail("cannot read", path, ::GetLastError());
        if (got == 0) break;
        sha.update(buffer.data(), got);
        digest.size += got;
        if (sink) writeAll(*sink, sinkPath, buffer.data(), got);
    }
    digest.sha256 = sha.finishHex();
    return digest;
}

// Writes through a temporary file beside the target, then moves it over the
// target, so readers see the old file or the whole new one.
template <typename Fill>
auto replaceAtomically(const std::string& target, Fill fill) {
    std::string temp = target + kTempSuffix;
    FileHandle out(::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!out) fail("cannot create", temp, ::GetLastError());
    try {
        auto result = fill(out, temp);
        if (!::FlushFileBuffers(out.get())) fail("cannot flush", temp, ::GetLastError());
        if (!out.reset()) fail("cannot close", temp, ::GetLastError());
        if (!::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            fail("cannot move into place", target, ::GetLastError());
        return result;
    } catch (...) {
        out = FileHandle();
        ::DeleteFileA(temp.c_str());
        throw;
    }
}

class Win32ReleaseStore : public ReleaseStore {
public:
    std::vector<ListedFile> listFiles(const std::string& root) override {
        DWORD attributes = ::GetFileAttributesA(root.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) fail("cannot open the release folder", root, ::GetLastError());
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw PublishError("the release folder " + root + " is not a folder");
        std::vector<ListedFile> files;
        walk(root, "", files);
        return files;
    }

    FileDigest digest(const std::string& root, const std::string& name) override {
        std::string path = join(root, name);
        return digestOf(openForReading(path), path, nullptr, {});
    }

    std::optional<FileDigest> digestIfPresent(const std::string& root, const std::string& name) override {
        std::string path = join(root, name);
        FileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) {
            DWORD error = ::GetLastError();
            if (isMissing(error)) return std::nullopt;
            fail("cannot open", path, error);
        }
        return digestOf(file, path, nullptr, {});
    }

    FileDigest copy(const std::string& fromRoot, const std::string& name, const std::string& toRoot) override {
        std::string source = join(fromRoot, name);
        std::string target = join(toRoot, name);
        FileHandle in = openForReading(source);
        makeFolders(target.substr(0, lastSeparator(target)));
        return replaceAtomically(target, [&](const FileHandle& out, const std::string& temp) {
            return digestOf(in, source, &out, temp);
        });
    }

    std::optional<std::string> readIfPresent(const std::string& root, const std::string& name) override {
        std::string path = join(root, name);
        FileHandle file(
            ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) {
            DWORD error = ::GetLastError();
            if (isMissing(error)) return std::nullopt;
            fail("cannot open", path, error);
        }
        std::string bytes;
        std::vector<char> buffer(65536);
        while (true) {
            DWORD got = 0;
            if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
                fail("cannot read", path, ::GetLastError());
            if (got == 0) return bytes;
            bytes.append(buffer.data(), got);
        }
    }

    void writeAtomically(const std::string& root, const std::string& name, const std::string& bytes) override {
        makeFolders(root);
        replaceAtomically(join(root, name), [&](const FileHandle& out, const std::string& temp) {
            writeAll(out, temp, bytes.data(), bytes.size());
            return 0;
        });
    }

    bool overlap(const std::string& a, const std::string& b) override {
        std::string first = fullPath(a);
        std::string second = fullPath(b);
        return first == second || isInside(first, second) || isInside(second, first);
    }

private:
    void walk(const std::string& root, const std::string& prefix, std::vector<ListedFile>& files) {
        std::string folder = prefix.empty() ? root : join(root, prefix);
        std::vector<WIN32_FIND_DATAA> entries;
        WIN32_FIND_DATAA data;
        FindHandle find(::FindFirstFileA(join(folder, "*").c_str(), &data));
        if (!find) {
            DWORD error = ::GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return;
            fail("cannot read the folder", folder, error);
        }
        do {
            std::string leaf = data.cFileName;
            if (leaf != "." && leaf != "..") entries.push_back(data);
        } while (::FindNextFileA(find.get(), &data));
        DWORD error = ::GetLastError();
        if (error != ERROR_NO_MORE_FILES) fail("cannot read the folder", folder, error);

        for (const WIN32_FIND_DATAA& entry : entries) {
            std::string name = prefix.empty() ? entry.cFileName : prefix + "/" + entry.cFileName;
            std::string path = join(root, name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    throw PublishError(path + " is a linked folder; linked folders are not followed");
                files.push_back({name, linkedFileSize(root, path)});
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                walk(root, name, files);
            } else {
                std::uint64_t size = (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
                files.push_back({name, size});
            }
        }
    }

    // A link is published as the file it points to, if that lies inside.
    std::uint64_t linkedFileSize(const std::string& root, const std::string& path) {
        if (realRoot_.empty()) realRoot_ = finalPath(root);
        std::string target = finalPath(path);
        if (!isInside(target, realRoot_))
            throw PublishError(path + " links to " + target + ", outside the release folder");
        FileHandle file = openForReading(path);
        LARGE_INTEGER size;
        if (!::GetFileSizeEx(file.get(), &size)) fail("cannot look at", path, ::GetLastError());
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    std::string realRoot_;
};

}  // namespace

std::unique_ptr<ReleaseStore> makePlatformStore() { return std::make_unique<Win32ReleaseStore>(); }

LocalTime currentLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace mkmanifest
