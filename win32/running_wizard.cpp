#include "win32/running_wizard.h"

#include <windows.h>

#include <map>
#include <string>

#include "win32/path_identity.h"
#include "win32/unique_handle.h"

namespace updater::win32 {
namespace {

// The holder is found by its windows, not told by the holder: an object it
// published would be closed to us when it runs elevated, while any process
// may ask for another's image name (limited query). The wizard is the
// top-level dialog of a process that runs this very executable file, so the
// product's own dialogs in the same folder never match.
struct WizardSearch {
    DWORD ownProcess = GetCurrentProcessId();
    std::wstring ownImage = pathIdentity(executablePath());
    std::map<DWORD, bool> runsOwnImage;  // per process, asked once
    HWND found = nullptr;
};

std::wstring imagePathOf(DWORD processId) {
    const ProcessHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) return {};
    path.resize(length);
    return path;
}

bool isUnownedDialog(HWND window) {
    wchar_t className[8] = {};
    return IsWindowVisible(window) && !GetWindow(window, GW_OWNER) &&
           GetClassNameW(window, className, 8) > 0 && std::wstring(className) == L"#32770";
}

BOOL CALLBACK visitTopLevel(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<WizardSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search.ownProcess || !isUnownedDialog(window)) return TRUE;
    auto known = search.runsOwnImage.find(processId);
    if (known == search.runsOwnImage.end()) {
        const std::wstring image = imagePathOf(processId);
        known = search.runsOwnImage.emplace(processId, !image.empty() && pathIdentity(image) == search.ownImage).first;
    }
    if (!known->second) return TRUE;
    search.found = window;
    return FALSE;
}

}  // namespace

void showRunningWizard() {
    WizardSearch search;
    EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return;
    // Asynchronous: a wizard whose thread is busy must not hold this process.
    if (IsIconic(search.found)) ShowWindowAsync(search.found, SW_RESTORE);
    // A box the wizard shows goes in front of it, as a click on the wizard would do.
    SetForegroundWindow(GetLastActivePopup(search.found));
}

}  // namespace updater::win32
