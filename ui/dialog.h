#pragma once
// A small modal dialog framework: one object per dialog template, reached
// from the dialog procedure through DWLP_USER. Subclasses override the
// operations they need; everything else gets the system's default handling.
#include <windows.h>

#include <exception>
#include <string>

namespace updater::ui {

class Dialog {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until endDialog(); returns its result, or -1 when the
    // window could not be created.
    INT_PTR runModal(HWND owner = nullptr);
    HWND window() const { return window_; }
    int templateId() const { return templateId_; }

protected:
    // Standard initialisation pushes the data to the controls. Return true to
    // let the system put the focus on the first tab stop.
    virtual bool onInitDialog();
    // OK (button 1 or Enter): pull the data back, then end with IDOK.
    virtual void onOK();
    // Cancel (button 2, Esc or the close box): end with IDCANCEL.
    virtual void onCancel();
    // Data exchange between members and controls: save = controls -> members.
    virtual void updateData(bool save);
    virtual void onDestroy() {}
    // Return false to let the system paint.
    virtual bool onPaint() { return false; }
    // The icon shown while a minimised window is dragged; none by default.
    virtual HICON onQueryDragIcon() { return nullptr; }
    // The window moved to a monitor of another DPI (or the DPI changed):
    // dpi is the new one, suggested the system's rectangle for the window.
    virtual void onDpiChanged(UINT dpi, const RECT& suggested) { (void)dpi, (void)suggested; }
    // F1: the help viewer at the help context of this dialog.
    virtual void onHelp();
    // An exception escaped a handler; it must never unwind into the system.
    virtual void reportFailure(std::exception_ptr error);

    void endDialog(INT_PTR result);
    // The wait cursor over the dialog until switched off.
    void setWaitCursor(bool on);
    // The platform help file that F1 opens (none: F1 does nothing).
    void setHelpFile(std::string path) { helpFile_ = std::move(path); }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    bool onCommand(WORD id);
    bool onSetCursor();

    int templateId_;
    HWND window_ = nullptr;
    bool waitCursor_ = false;
    std::string helpFile_;
};

}  // namespace updater::ui
