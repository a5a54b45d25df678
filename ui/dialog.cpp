#include "ui/dialog.h"

namespace updater::ui {
namespace {

// Help contexts of dialogs: this base plus the template id.
constexpr DWORD kDialogHelpContextBase = 0x20000;

}  // namespace

INT_PTR Dialog::runModal(HWND owner) {
    // A Unicode dialog: its texts reach the controls in full, whatever the
    // ANSI code page.
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, dialogProc,
                           reinterpret_cast<LPARAM>(this));
}

bool Dialog::onInitDialog() {
    updateData(false);
    return true;
}

void Dialog::onOK() {
    updateData(true);
    endDialog(IDOK);
}

void Dialog::onCancel() {
    endDialog(IDCANCEL);
}

void Dialog::updateData(bool) {}

void Dialog::onHelp() {
    if (helpFile_.empty()) return;
    WinHelpA(window_, helpFile_.c_str(), HELP_CONTEXT, kDialogHelpContextBase + static_cast<DWORD>(templateId_));
}

void Dialog::reportFailure(std::exception_ptr) {
    MessageBeep(MB_ICONHAND);
}

void Dialog::endDialog(INT_PTR result) {
    EndDialog(window_, result);
}

void Dialog::setWaitCursor(bool on) {
    waitCursor_ = on;
    SetCursor(LoadCursorA(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

INT_PTR CALLBACK Dialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->handle(message, wParam, lParam);
    } catch (...) {
        self->reportFailure(std::current_exception());
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->window_ = nullptr;
    }
    return result;
}

INT_PTR Dialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return onCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        onDestroy();
        return FALSE;
    case WM_PAINT:
        return onPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        // One of the few messages whose answer is the return value itself.
        return reinterpret_cast<INT_PTR>(onQueryDragIcon());
    case WM_DPICHANGED:
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_HELP:
        onHelp();
        return TRUE;
    case WM_SETCURSOR:
        return onSetCursor() ? TRUE : FALSE;
    default:
        (void)lParam;
        return FALSE;
    }
}

bool Dialog::onCommand(WORD id) {
    if (id == IDOK) {
        onOK();
    } else if (id == IDCANCEL) {
        onCancel();
    } else {
        return false;
    }
    return true;
}

bool Dialog::onSetCursor() {
    if (!waitCursor_) return false;
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
    return true;
}

}  // namespace updater::ui
