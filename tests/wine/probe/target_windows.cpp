#include "tests/wine/probe/target_windows.h"

#include <tlhelp32.h>

#include <algorithm>

namespace probe {

namespace {

constexpr int kListId = 1011;

struct Search {
    const std::vector<DWORD>* processIds;
    TargetWindows found;
};

bool isDialog(HWND window) {
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    return wcscmp(className, L"#32770") == 0;
}

BOOL CALLBACK visitTopLevel(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    const auto& ids = *search.processIds;
    if (std::find(ids.begin(), ids.end(), pid) == ids.end() || !isDialog(window)) return TRUE;
    if (GetDlgItem(window, kListId)) {
        if (!search.found.wizard) search.found.wizard = window;
    } else if (IsWindowVisible(window)) {
        search.found.boxes.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<DWORD> processIdsNamed(const std::wstring& exeName) {
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

TargetWindows findTargetWindows(const std::vector<DWORD>& processIds) {
    Search search{&processIds, {}};
    if (!processIds.empty()) EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace probe
