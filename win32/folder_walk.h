#pragma once
// The walk that keeps every file step inside the program directory: the
// folders between the program directory and a path's last name are opened
// one by one as themselves, a reparse point among them (a junction, a
// symbolic link, a mount point) refuses the path, and the folders stay open,
// so that none can be renamed, deleted or swapped for a link, until the
// step is done. The program directory itself may be reached through a link.
#include <string>
#include <vector>

#include "win32/unique_handle.h"

namespace updater::win32 {

// What a step on a path through a reparse point below the program
// directory fails with (ERROR_REPARSE_POINT_ENCOUNTERED).
constexpr unsigned long kReparsePointBelowProgramDirectory = 4395;

// The folders of one step, held open; closing them keeps the thread's last
// error, which the step's caller reads after they are gone.
class HeldFolders {
public:
    HeldFolders() = default;
    HeldFolders(HeldFolders&&) = default;
    HeldFolders& operator=(HeldFolders&&) = default;
    ~HeldFolders();
    void hold(FileHandle folder) { folders_.push_back(std::move(folder)); }

private:
    std::vector<FileHandle> folders_;
};

struct FolderWalk {
    HeldFolders held;
    unsigned long refusal = 0;  // a system code; 0 when every folder is held
    std::wstring refusedAt;  // the reparse point, when that was the refusal
};

// Walks the folders of path (all but its last name) below root; a path that
// is not below root is held nothing and refused nothing. With checkLastName,
// the last name is refused too when it is a reparse point (a step that opens
// a file through its name); it is never held, so that the step may delete
// or rename it.
FolderWalk walkBelow(const std::wstring& root, const std::wstring& path, bool checkLastName);

}  // namespace updater::win32
