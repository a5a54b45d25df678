#include "tests/wine/probe/commands.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>

#include "tests/wine/probe/icon_kind.h"
#include "tests/wine/probe/target_windows.h"
#include "tests/wine/probe/wire_text.h"

namespace probe {

namespace {

constexpr int kNextId = 1, kCancelId = 2, kProgressId = 1002, kListId = 1011, kStatusId = 1012;
constexpr int kMessageBoxTextId = 0xFFFF;
// Long enough for a busy-but-alive window; a window blocked in a check answers later.
constexpr UINT kSendTimeoutMs = 500;

bool sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    DWORD_PTR value = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value)) return false;
    result = static_cast<LRESULT>(value);
    return true;
}

int flag(bool value) { return value ? 1 : 0; }

// The list's lines; false when the window did not answer in time.
bool listLines(HWND list, std::ostringstream& out) {
    LRESULT count = 0;
    if (!list || !sendWithTimeout(list, LB_GETCOUNT, 0, 0, count) || count < 0) return false;
    out << " lines=" << count;
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = 0;
        if (!sendWithTimeout(list, LB_GETTEXTLEN, i, 0, length) || length < 0) return false;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        LRESULT copied = 0;
        if (!sendWithTimeout(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()), copied) || copied < 0)
            return false;
        text.resize(static_cast<size_t>(copied));
        out << " line=" << hex(utf8(text));
    }
    return true;
}

std::string readWizardState(HWND wizard) {
    std::ostringstream out;
    HWND next = GetDlgItem(wizard, kNextId), cancel = GetDlgItem(wizard, kCancelId);
    out << "OK visible=" << flag(IsWindowVisible(wizard)) << " caption=" << windowTextHex(wizard)
        << " status=" << windowTextHex(GetDlgItem(wizard, kStatusId)) << " next=" << windowTextHex(next)
        << " nextEnabled=" << flag(next && IsWindowEnabled(next))
        << " cancelEnabled=" << flag(cancel && IsWindowEnabled(cancel));
    RECT frame{};
    GetWindowRect(wizard, &frame);
    out << " rect=" << frame.left << ',' << frame.top << ',' << frame.right << ',' << frame.bottom;
    LRESULT position = 0;
    HWND progress = GetDlgItem(wizard, kProgressId);
    bool responsive = progress && sendWithTimeout(progress, PBM_GETPOS, 0, 0, position);
    std::ostringstream lines;
    responsive = responsive && listLines(GetDlgItem(wizard, kListId), lines);
    out << " responsive=" << flag(responsive);
    if (responsive) out << " progress=" << position << lines.str();
    return out.str();
}

// The wizard's thread may change texts, the list and the button between our
// reads (a handler in progress, or the run between chunks). Two reads in a row
// that agree belong to one moment; a window that keeps changing gets the last.
std::string wizardState(HWND wizard) {
    constexpr int kAttempts = 4;
    std::string previous = readWizardState(wizard);
    for (int i = 1; i < kAttempts; ++i) {
        std::string current = readWizardState(wizard);
        if (current == previous) return current;
        previous = std::move(current);
    }
    return previous;
}

BOOL CALLBACK collectButton(HWND child, LPARAM param) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (_wcsicmp(className, L"Button") == 0 && IsWindowVisible(child)) {
        auto& out = *reinterpret_cast<std::ostringstream*>(param);
        out << " button=" << GetDlgCtrlID(child) << ':' << windowTextHex(child);
    }
    return TRUE;
}

std::string boxState(HWND box) {
    std::ostringstream out;
    out << "OK caption=" << windowTextHex(box) << " text=" << windowTextHex(GetDlgItem(box, kMessageBoxTextId))
        << " icon=" << messageBoxIconKind(box) << " owned=" << flag(GetWindow(box, GW_OWNER) != nullptr);
    EnumChildWindows(box, collectButton, reinterpret_cast<LPARAM>(&out));
    return out.str();
}

// A click as the user makes it: nothing happens on a disabled or hidden button.
// Posted, because the program handles the click synchronously (a check blocks).
std::string pressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) return "NONE";
    if (!IsWindowVisible(dialog) || !IsWindowEnabled(button)) return "DISABLED";
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return "OK";
}

// A key goes to the focused control, as the keyboard would send it, so that
// the program's dialog manager translates it (Enter -> OK, Esc -> Cancel).
std::string pressKey(HWND wizard, const std::string& name) {
    UINT key = name == "RETURN" ? VK_RETURN : name == "ESCAPE" ? VK_ESCAPE : 0;
    if (!key) return "ERR unknown key";
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND focus = nullptr;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(wizard, nullptr), &info)) focus = info.hwndFocus;
    HWND target = focus ? focus : wizard;
    UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, key, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    return "OK";
}

std::string processList(const std::vector<DWORD>& ids) {
    std::ostringstream out;
    out << "OK count=" << ids.size();
    for (DWORD id : ids) out << " pid=" << id;
    return out.str();
}

std::string terminateAll(const std::vector<DWORD>& ids) {
    int ended = 0;
    for (DWORD id : ids) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        if (!process) continue;
        if (TerminateProcess(process, 1)) ++ended;
        CloseHandle(process);
    }
    return "OK count=" + std::to_string(ended);
}

// How long the wizard's thread takes to answer a message from another
// process; a thread that does not answer within 10 s counts as 10 s.
std::string answerTime(HWND wizard) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
    QueryPerformanceCounter(&end);
    const long long ms = (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
    return "OK ms=" + std::to_string(answered ? ms : 10000);
}

std::wstring widen(const std::string& text) {
    std::wstring result(text.size(), L'\0');
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                                   static_cast<int>(result.size()));
    result.resize(static_cast<size_t>(size > 0 ? size : 0));
    return result;
}

}  // namespace

std::string Commands::execute(const std::string& line) {
    std::istringstream in(line);
    std::string verb, argument;
    in >> verb;
    std::getline(in >> std::ws, argument);

    if (verb == "PING") return "OK";
    if (verb == "TARGET") {
        if (argument.empty()) return "ERR missing name";
        target_ = widen(argument);
        return "OK";
    }
    auto ids = processIdsNamed(target_);
    if (verb == "PROCS") return processList(ids);
    if (verb == "KILL") return terminateAll(ids);

    TargetWindows windows = findTargetWindows(ids);
    if (verb == "STATE") return windows.wizard ? wizardState(windows.wizard) : "NONE";
    if (verb == "BOX") return windows.boxes.empty() ? "NONE" : boxState(windows.boxes.front());
    if (verb == "ANSWER") {
        if (windows.boxes.empty()) return "NONE";
        return pressButton(windows.boxes.front(), std::atoi(argument.c_str()));
    }
    if (!windows.wizard) return "NONE";
    if (verb == "PRESS") return pressButton(windows.wizard, std::atoi(argument.c_str()));
    if (verb == "KEY") return pressKey(windows.wizard, argument);
    if (verb == "ANSWERTIME") return answerTime(windows.wizard);
    if (verb == "CLOSE") {
        PostMessageW(windows.wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
        return "OK";
    }
    return "ERR unknown command";
}

}  // namespace probe
