#pragma once
// The program's arguments as Windows splits its command line.
#include <string>
#include <vector>

namespace updater::win32 {

// The arguments after the program's own name. Read from GetCommandLineW and
// split by CommandLineToArgvW: WinMain's ANSI line would turn characters
// outside the ANSI code page into "?", and is not split at all.
std::vector<std::wstring> programArguments();

}  // namespace updater::win32
