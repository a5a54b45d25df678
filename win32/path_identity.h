#pragma once
// Which file or folder a path names: the text two processes compare to learn
// that they run from one place, whatever way each reached it.
#include <string>

namespace updater::win32 {

// The running program's own file, of any length.
std::wstring executablePath();

// The path up to its last separator, without it ("C:\a\b.exe" -> "C:\a").
std::wstring parentDirectory(const std::wstring& path);

// The final path of an existing file or folder (drive substitutes, junctions
// and links followed; GetFinalPathNameByHandleW), folded to lower case as the
// file system ignores case. When the system cannot resolve it, the path as
// given, folded: two spellings may then differ, but one spelling still matches.
std::wstring pathIdentity(const std::wstring& path);

}  // namespace updater::win32
