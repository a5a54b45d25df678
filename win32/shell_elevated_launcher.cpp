#include "win32/shell_elevated_launcher.h"

#include <windows.h>
#include <shellapi.h>

#include "engine/run/command_line.h"
#include "win32/ansi_text.h"
#include "win32/path_identity.h"
#include "win32/unique_handle.h"

namespace updater::win32 {

unsigned long ShellElevatedLauncher::launch(const std::string& version) {
    const std::wstring program = executablePath();
    const std::wstring directory = parentDirectory(program);
    const std::wstring parameters = switchFor(StartMode::ElevatedRun) + L" " + quoteArgument(ansiToWide(version));
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No box of the shell's own: the wizard tells what went wrong.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = GetActiveWindow();
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_GEN_FAILURE;
    }
    // The copy runs once the call returns. Its wizard comes to the front
    // as this one closes.
    const ProcessHandle copy(info.hProcess);
    if (copy) AllowSetForegroundWindow(GetProcessId(copy.get()));
    return 0;
}

}  // namespace updater::win32
