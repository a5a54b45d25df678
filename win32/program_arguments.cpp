#include "win32/program_arguments.h"

#include <windows.h>
#include <shellapi.h>

#include "win32/unique_handle.h"

namespace updater::win32 {

std::vector<std::wstring> programArguments() {
    int count = 0;
    const ArgumentListHandle list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> arguments;
    for (int i = 1; list && i < count; ++i) arguments.emplace_back(list.get()[i]);
    return arguments;
}

}  // namespace updater::win32
