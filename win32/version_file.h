#pragma once
// The answer of Update.exe /check for a product that asked for it in a file.
#include <string>
#include <string_view>

namespace updater::win32 {

// Writes the version (ANSI code page) as UTF-8 without a byte-order mark,
// followed by CRLF, to path (relative to the current directory), replacing
// what stood there. Returns 0, or the system's code for the failure; then
// the file is as it was.
unsigned long writeVersionFile(const std::wstring& path, std::string_view version);

}  // namespace updater::win32
