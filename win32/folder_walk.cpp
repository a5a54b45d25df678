// Why a folder the walk held cannot lead a step out of the program directory
// on Windows:
//
// - Each folder is opened with FILE_FLAG_OPEN_REPARSE_POINT, so the handle
//   is the folder entry itself, a junction or a symbolic link included, and
//   FILE_FLAG_BACKUP_SEMANTICS, which a folder needs to be opened at all.
//   Its attributes, read from the handle, say whether it is a reparse point.
// - It is opened for listing (read access), without FILE_SHARE_DELETE. An
//   open for attributes alone takes no part in sharing, so listing access
//   is what makes the share mode bind: while the handle is open, nobody can
//   open the folder for deletion, which renaming it, deleting it and so
//   replacing it by a junction all need.
// - Folders are opened outermost first, each after its parent is held; the
//   step runs while all of them are held, so the path it names resolves
//   through exactly the folders that were checked.
//
// What stays open: an empty folder can be made a junction in place
// (FSCTL_SET_REPARSE_POINT needs only the right to write its attributes),
// and the last name of a path is checked, not held, so that the step may
// rename or delete it. Both need a user who may already write that folder;
// the program directory's own access list, left to the installer, decides.
//
// Wine 8 differs. It makes no reparse point of its own: CreateSymbolicLinkW
// answers TRUE and makes nothing, and FSCTL_SET_REPARSE_POINT fails with
// ERROR_NOT_SUPPORTED. A Unix symbolic link to a folder is followed when it
// is opened, even with FILE_FLAG_OPEN_REPARSE_POINT, so the handle's
// attributes are the target's; only the attributes read by path
// (GetFileAttributesW, FindFirstFileW) carry FILE_ATTRIBUTE_REPARSE_POINT.
// The walk reads both: on Windows the handle binds, under Wine the path
// shows the link. A Unix link to a file is no reparse point to Wine at all.
#include "win32/folder_walk.h"

#include <windows.h>

namespace updater::win32 {

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The names of path after root and a separator; false when path is not
// below root.
bool namesBelow(const std::wstring& root, const std::wstring& path, std::vector<std::wstring>& names) {
    std::size_t rootLength = root.size();
    while (rootLength > 0 && isSeparator(root[rootLength - 1])) --rootLength;
    if (rootLength == 0 || path.size() <= rootLength || !isSeparator(path[rootLength]) ||
        CompareStringOrdinal(root.data(), static_cast<int>(rootLength), path.data(), static_cast<int>(rootLength),
                             TRUE) != CSTR_EQUAL)
        return false;
    std::size_t start = rootLength;
    while (start < path.size()) {
        while (start < path.size() && isSeparator(path[start])) ++start;
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        if (end > start) names.push_back(path.substr(start, end - start));
        start = end;
    }
    return true;
}

bool isReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

HeldFolders::~HeldFolders() {
    const DWORD code = GetLastError();
    folders_.clear();
    SetLastError(code);
}

FolderWalk walkBelow(const std::wstring& root, const std::wstring& path, bool checkLastName) {
    FolderWalk walk;
    std::vector<std::wstring> names;
    if (!namesBelow(root, path, names)) return walk;
    std::wstring folder = root;
    while (!folder.empty() && isSeparator(folder.back())) folder.pop_back();
    for (std::size_t index = 0; index + 1 < names.size(); ++index) {
        // ".." would climb back out past what was checked.
        if (names[index] == L"." || names[index] == L"..") {
            walk.refusal = ERROR_BAD_PATHNAME;
            return walk;
        }
        folder += L"\\" + names[index];
        FileHandle handle(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle) {
            walk.refusal = GetLastError();
            return walk;
        }
        // The attributes alone: GetFileInformationByHandle also asks for the
        // volume's serial number, which costs Wine half a millisecond.
        FILE_ATTRIBUTE_TAG_INFO info;
        if (!GetFileInformationByHandleEx(handle.get(), FileAttributeTagInfo, &info, sizeof info)) {
            walk.refusal = GetLastError();
            return walk;
        }
        if (isReparsePoint(info.FileAttributes) || isReparsePoint(GetFileAttributesW(folder.c_str()))) {
            walk.refusal = kReparsePointBelowProgramDirectory;
            walk.refusedAt = folder;
            return walk;
        }
        walk.held.hold(std::move(handle));
    }
    if (checkLastName && !names.empty() && isReparsePoint(GetFileAttributesW(path.c_str()))) {
        walk.refusal = kReparsePointBelowProgramDirectory;
        walk.refusedAt = path;
    }
    return walk;
}

}  // namespace updater::win32
