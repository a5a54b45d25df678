#include "win32/thread_name.h"

namespace updater::win32 {

void nameThread(HANDLE thread, const wchar_t* name) {
    using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto setDescription = [] {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        return kernel ? reinterpret_cast<SetThreadDescriptionFunction>(
                            reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")))
                      : nullptr;
    }();
    if (setDescription) setDescription(thread, name);
}

}  // namespace updater::win32
