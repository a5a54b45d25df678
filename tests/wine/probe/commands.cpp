#include "tests/wine/probe/commands.h"

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/text/hex_text.h"
#include "res/resource.h"
#include "win32/unique_handle.h"

namespace probe {

namespace {

std::vector<DWORD> processIdsNamed(const std::wstring& exeName) {
    std::vector<DWORD> ids;
    const updater::win32::SnapshotHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

// The windows of the program under test: top-level dialogs (#32770) of its processes.
struct TargetWindows {
    const std::vector<DWORD>* processIds;
    HWND wizard = nullptr;    // the dialog that holds the list
    std::vector<HWND> boxes;  // every other visible dialog: message boxes
};

BOOL CALLBACK visitTopLevel(HWND window, LPARAM param) {
    auto& found = *reinterpret_cast<TargetWindows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    const auto& ids = *found.processIds;
    if (std::find(ids.begin(), ids.end(), pid) == ids.end() || wcscmp(className, L"#32770") != 0) return TRUE;
    if (GetDlgItem(window, IDC_LIST)) {
        if (!found.wizard) found.wizard = window;
    } else if (IsWindowVisible(window)) {
        found.boxes.push_back(window);
    }
    return TRUE;
}

TargetWindows findTargetWindows(const std::vector<DWORD>& processIds) {
    TargetWindows found{&processIds, nullptr, {}};
    if (!processIds.empty()) EnumWindows(visitTopLevel, reinterpret_cast<LPARAM>(&found));
    return found;
}

constexpr int kMessageBoxTextId = 0xFFFF;
// Long enough for a busy-but-alive window; a window blocked in a check answers later.
constexpr UINT kSendTimeoutMs = 500;
constexpr UINT kDpiChangeTimeoutMs = 10000;

bool sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                     UINT timeoutMs = kSendTimeoutMs) {
    DWORD_PTR value = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &value)) return false;
    result = static_cast<LRESULT>(value);
    return true;
}

int flag(bool value) { return value ? 1 : 0; }

// Texts on the wire are UTF-8, hex-encoded so that every reply stays on one line.
std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// For another process's window GetWindowTextW reads the stored text without
// sending WM_GETTEXT, so a window busy in a check cannot stall us.
std::string windowTextHex(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return updater::encodeHex(utf8(text));
}

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
        out << " line=" << updater::encodeHex(utf8(text));
    }
    return true;
}

// "width,height" of the window's client area.
std::string clientSize(HWND window) {
    RECT client{};
    if (window) GetClientRect(window, &client);
    return std::to_string(client.right) + ',' + std::to_string(client.bottom);
}

// WM_DPICHANGED as the system sends it when the wizard moves to a monitor of
// that DPI: the suggested rectangle keeps the top left corner and scales the
// size. The rectangle is written into the wizard's process, where the
// message's pointer is read.
std::string changeDpi(HWND wizard, int dpi, int fromDpi) {
    RECT suggested{};
    GetWindowRect(wizard, &suggested);
    suggested.right = suggested.left + MulDiv(suggested.right - suggested.left, dpi, fromDpi);
    suggested.bottom = suggested.top + MulDiv(suggested.bottom - suggested.top, dpi, fromDpi);
    DWORD pid = 0;
    GetWindowThreadProcessId(wizard, &pid);
    const updater::win32::ProcessHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid));
    void* remote = process ? VirtualAllocEx(process.get(), nullptr, sizeof suggested, MEM_COMMIT, PAGE_READWRITE) : nullptr;
    if (!remote || !WriteProcessMemory(process.get(), remote, &suggested, sizeof suggested, nullptr))
        return "ERR cannot write the rectangle";
    LRESULT ignored = 0;
    // Rescaling remakes fonts, icons and the banner: on a loaded machine that
    // takes longer than a plain read of a control.
    const bool sent = sendWithTimeout(wizard, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote),
                                      ignored, kDpiChangeTimeoutMs);
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return sent ? "OK" : "ERR no answer";
}

std::string readWizardState(HWND wizard) {
    std::ostringstream out;
    HWND next = GetDlgItem(wizard, IDOK), cancel = GetDlgItem(wizard, IDCANCEL);
    out << "OK visible=" << flag(IsWindowVisible(wizard)) << " minimized=" << flag(IsIconic(wizard))
        << " caption=" << windowTextHex(wizard)
        << " status=" << windowTextHex(GetDlgItem(wizard, IDC_STATUS)) << " next=" << windowTextHex(next)
        << " cancel=" << windowTextHex(cancel) << " nextEnabled=" << flag(next && IsWindowEnabled(next))
        << " cancelEnabled=" << flag(cancel && IsWindowEnabled(cancel));
    RECT frame{};
    GetWindowRect(wizard, &frame);
    out << " rect=" << frame.left << ',' << frame.top << ',' << frame.right << ',' << frame.bottom;
    out << " client=" << clientSize(wizard) << " banner=" << clientSize(GetDlgItem(wizard, IDC_BANNER))
        << " list=" << clientSize(GetDlgItem(wizard, IDC_LIST));
    LRESULT position = 0;
    HWND progress = GetDlgItem(wizard, IDC_PROGRESS);
    bool responsive = progress && sendWithTimeout(progress, PBM_GETPOS, 0, 0, position);
    std::ostringstream lines;
    responsive = responsive && listLines(GetDlgItem(wizard, IDC_LIST), lines);
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

// The control's pixels as shown on screen, top-down 32-bit BGRX. Reading the
// screen works across processes, where WM_PRINT into our own DC would not.
std::vector<RGBQUAD> screenPixels(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<RGBQUAD> pixels(static_cast<size_t>(width) * height);
    if (!copied || !GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS)) pixels.clear();
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The icon of a message box by its pixels: icon handles are per process under
// Wine, so the same system icon cannot be recognised by handle from outside.
// "stop" (red), "exclamation" (yellow), "information" (blue: the information
// and question icons alike) or "none".
const char* messageBoxIconKind(HWND box) {
    // The icon static: id 20 on Windows, 1088 under Wine.
    HWND control = GetDlgItem(box, 20);
    if (!control || !IsWindowVisible(control)) control = GetDlgItem(box, 1088);
    if (!control || !IsWindowVisible(control)) return "none";
    int red = 0, yellow = 0, blue = 0;
    for (const RGBQUAD& p : screenPixels(control)) {
        int r = p.rgbRed, g = p.rgbGreen, b = p.rgbBlue;
        if (r >= 160 && g <= 100 && b <= 100) ++red;
        else if (r >= 160 && g >= 140 && b <= 110) ++yellow;
        else if (b >= 140 && r <= 120 && b >= g + 20) ++blue;
    }
    // A few stray pixels of an outline do not make an icon.
    const int enough = 20;
    if (red >= enough && red >= yellow && red >= blue) return "stop";
    if (yellow >= enough && yellow >= blue) return "exclamation";
    if (blue >= enough) return "information";
    return "none";
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
        const updater::win32::ProcessHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (process && TerminateProcess(process.get(), 1)) ++ended;
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

std::string execute(const std::string& line) {
    std::istringstream in(line);
    std::string verb, exeName, argument;
    in >> verb >> exeName;
    std::getline(in >> std::ws, argument);

    auto ids = processIdsNamed(widen(exeName));
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
    if (verb == "DPI") {  // "DPI exe NEW FROM"
        int dpi = 0, fromDpi = 0;
        std::istringstream(argument) >> dpi >> fromDpi;
        if (dpi <= 0 || fromDpi <= 0) return "ERR usage: DPI exe new-dpi from-dpi";
        return changeDpi(windows.wizard, dpi, fromDpi);
    }
    if (verb == "CLOSE" || verb == "MINIMIZE") {
        PostMessageW(windows.wizard, WM_SYSCOMMAND, verb == "CLOSE" ? SC_CLOSE : SC_MINIMIZE, 0);
        return "OK";
    }
    return "ERR unknown command";
}

}  // namespace probe
