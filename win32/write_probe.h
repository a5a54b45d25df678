#pragma once
// Whether this process can create files in a directory, learnt by creating
// one: the only answer that holds for the directory's access list, a
// read-only medium and Wine alike (where every token claims administrator
// rights). With the program's asInvoker manifest no write is ever redirected
// to the VirtualStore, so a probe that succeeds wrote the directory itself.
#include <string>

namespace updater::win32 {

// Creates kWriteProbeName (engine/manifest/side_files.h) in the directory's
// work folder kWorkFolderName, deleted as its handle closes; true when it
// could be created.
bool canCreateFilesIn(const std::wstring& directory);

}  // namespace updater::win32
