#pragma once
// Finds the windows of the program under test: its processes by executable
// name (toolhelp), its wizard and its message boxes (top-level #32770 windows).
#include <windows.h>

#include <string>
#include <vector>

namespace probe {

std::vector<DWORD> processIdsNamed(const std::wstring& exeName);

struct TargetWindows {
    HWND wizard = nullptr;       // the dialog that holds the list (control 1011)
    std::vector<HWND> boxes;     // every other visible dialog: message boxes
};

TargetWindows findTargetWindows(const std::vector<DWORD>& processIds);

}  // namespace probe
