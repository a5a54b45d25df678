#pragma once
// Names a thread for debuggers and crash dumps. SetThreadDescription came
// with Windows 10 1607; it is looked up at run time, so on older systems
// (Windows 7 SP1 is the minimum) and where Wine lacks it the thread simply
// stays unnamed.
#include <windows.h>

namespace updater::win32 {

void nameThread(HANDLE thread, const wchar_t* name);
inline void nameCurrentThread(const wchar_t* name) { nameThread(GetCurrentThread(), name); }

}  // namespace updater::win32
