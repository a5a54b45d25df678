// Asks the wizard's progress bar for its position without waiting: the
// question is queued at once and answered whenever the wizard next looks at
// its messages. A run answers only between download chunks, so a question
// queued while it waits for the first chunk is answered with that chunk's
// position. Prints "queued", then "position=N".
//
// Usage: progress_reader.exe
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

constexpr int kProgressId = 1002;
constexpr UINT kLimitMs = 30000;

BOOL CALLBACK findProgress(HWND window, LPARAM param) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    HWND progress = GetDlgItem(window, kProgressId);
    if (lstrcmpW(className, L"#32770") != 0 || !progress) return TRUE;
    *reinterpret_cast<HWND*>(param) = progress;
    return FALSE;
}

bool answered = false;

void CALLBACK positionArrived(HWND, UINT, ULONG_PTR, LRESULT position) {
    std::printf("position=%ld\n", static_cast<long>(position));
    std::fflush(stdout);
    answered = true;
}

}  // namespace

int main() {
    HWND progress = nullptr;
    EnumWindows(findProgress, reinterpret_cast<LPARAM>(&progress));
    if (!progress) {
        std::printf("no wizard\n");
        return 1;
    }
    if (!SendMessageCallbackW(progress, PBM_GETPOS, 0, 0, positionArrived, 0)) {
        std::printf("cannot ask: %lu\n", GetLastError());
        return 1;
    }
    std::printf("queued\n");
    std::fflush(stdout);
    SetTimer(nullptr, 0, kLimitMs, nullptr);
    MSG message;
    while (!answered && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) return 2;
        DispatchMessageW(&message);
    }
    return answered ? 0 : 2;
}
