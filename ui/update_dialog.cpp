#include "ui/update_dialog.h"

#include <commctrl.h>

#include <vector>

#include "engine/report/failure_report.h"
#include "res/resource.h"
#include "ui/background_run.h"
#include "ui/dialog_texts.h"
#include "ui/paint_session.h"
#include "win32/screen_dpi.h"
#include "win32/shown_text.h"

namespace updater::ui {
namespace {

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

// The program icon at the size the system wants for this DPI, from the
// icon's nearest image.
win32::IconHandle iconForDpi(int metric, UINT dpi) {
    const int size = win32::systemMetricForDpi(metric, dpi);
    return win32::IconHandle(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0)));
}

// The status line as the wizard opens: a brand's own text for it, else 105.
std::wstring openingStatus(const Messages& messages) {
    const std::string own = messages.load(MessageId::DialogStatus);
    return win32::wideFromShown(own.empty() ? messages.load(MessageId::ClickNext) : own);
}

}  // namespace

UpdateDialog::UpdateDialog(const UpdateServices& services, UpdateSettings settings, PendingRelease pending,
                           DisplayLanguage language)
    : Dialog(IDD_UPDATE_DIALOG),
      services_(services),
      language_(language),
      statusText_(openingStatus(services.messages)),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      flow_(services, std::move(settings), std::move(pending), *this, *this) {
    setHelpFile(services_.helpFile);
}

bool UpdateDialog::onInitDialog() {
    Dialog::onInitDialog();
    showDialogTexts(window(), services_.messages);
    nextCaption_ = windowText(nextButton_);
    const UINT dpi = win32::windowDpi(window());
    RECT panel{0, 0, BANNER_PANEL_WIDTH, BANNER_PANEL_HEIGHT};
    MapDialogRect(window(), &panel);
    banner_.fit(GetDlgItem(window(), IDC_BANNER), {panel.right, panel.bottom});
    win32::keepDialogFromRescaling(window());
    layout_.record(window(), dpi);
    useLanguageFont(layout_, language_);
    showIcons(dpi);
    flow_.start();
    return false;
}

void UpdateDialog::focusButton() {
    SendMessageW(window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(nextButton_), TRUE);
}

void UpdateDialog::pressButtonSoon() {
    PostMessageW(window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(nextButton_));
}

void UpdateDialog::close(End end) {
    switch (end) {
    case End::Finished: return Dialog::onOK();
    case End::HandedOver: return endDialog(IDOK);
    case End::Cancelled: return Dialog::onCancel();
    }
}

WizardWindow::WorkOutcome UpdateDialog::runInBackground(const StopFlag& stop,
                                                        const std::function<void(WizardView&)>& work) {
    const BackgroundOutcome outcome = ui::runInBackground(*this, stop, work);
    return {outcome.failure, outcome.left};
}

void UpdateDialog::showIcons(UINT dpi) {
    bigIcon_ = iconForDpi(SM_CXICON, dpi);
    smallIcon_ = iconForDpi(SM_CXSMICON, dpi);
    SendMessageW(window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_ ? bigIcon_.get() : icon_));
    SendMessageW(window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_ ? smallIcon_.get() : icon_));
}

// Fonts, controls, banner and icons follow the new DPI together.
void UpdateDialog::onDpiChanged(UINT dpi, const RECT& suggested) {
    layout_.rescale(window(), dpi, suggested);
    const HWND banner = GetDlgItem(window(), IDC_BANNER);
    // The panel's width follows the DPI; its height is the client area's,
    // which the suggested rectangle may make a little taller or shorter.
    const RECT panel = layout_.placeOf(banner);
    RECT client{};
    GetClientRect(window(), &client);
    banner_.fit(banner, {panel.right - panel.left, client.bottom});
    showIcons(dpi);
}

void UpdateDialog::updateData(bool save) {
    nextButton_ = GetDlgItem(window(), IDOK);
    list_ = GetDlgItem(window(), IDC_LIST);
    progress_ = GetDlgItem(window(), IDC_PROGRESS);
    const HWND status = GetDlgItem(window(), IDC_STATUS);
    if (save) {
        statusText_ = windowText(status);
    } else {
        SetWindowTextW(status, statusText_.c_str());
    }
}

bool UpdateDialog::onPaint() {
    if (!IsIconic(window())) return false;
    const PaintSession paint(window());
    SendMessageW(window(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
    RECT client;
    GetClientRect(window(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(paint.dc(), x, y, icon_);
    return true;
}

void UpdateDialog::reportFailure(std::exception_ptr error) {
    const FailureReport report =
        describeFailure(error, services_.messages, services_.codePage, services_.systemErrorText);
    eventLog(services_).write("failure: " + report.text);
    const UINT style = report.outOfMemory ? MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL : MB_OK | MB_ICONERROR;
    showBox(report.text, style);
}

// --- WizardView ---

int UpdateDialog::showBox(const std::string& text, UINT style) {
    const std::wstring wideText = win32::wideFromShown(text);
    const std::wstring caption = win32::wideFromShown(services_.applicationName);
    return MessageBoxW(window(), wideText.c_str(), caption.c_str(), style);
}

void UpdateDialog::showStatus(const std::string& text) {
    statusText_ = win32::wideFromShown(text);
    updateData(false);
}

void UpdateDialog::addListLine(const std::string& text) {
    SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::wideFromShown(text).c_str()));
}

void UpdateDialog::deleteFirstListLine() {
    SendMessageW(list_, LB_DELETESTRING, 0, 0);
}

void UpdateDialog::clearList() {
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}

// Each line added to a visible list repaints it, which costs milliseconds
// under Wine; during a run one frame's lines go in while it is held.
void UpdateDialog::holdListPaint(bool hold) {
    SendMessageW(list_, WM_SETREDRAW, hold ? FALSE : TRUE, 0);
    if (!hold) RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}

void UpdateDialog::showStage(ButtonStage stage) {
    std::wstring caption = nextCaption_;
    if (stage == ButtonStage::Update) caption = win32::wideFromShown(loadMessage(MessageId::UpdateCaption));
    if (stage == ButtonStage::Finish) caption = win32::wideFromShown(loadMessage(MessageId::FinishCaption));
    SetWindowTextW(nextButton_, caption.c_str());
}

void UpdateDialog::enableButton(bool enabled) {
    if (!enabled && GetFocus() == nextButton_) {
        // A disabled button cannot keep the focus; without a focus the dialog
        // would not even see Esc. The list takes it, not Cancel: an Enter
        // typed ahead during the check must not close the wizard before its
        // result has been read, and Esc still cancels from the list.
        SendMessageW(window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list_), TRUE);
        focusParked_ = true;
    }
    EnableWindow(nextButton_, enabled ? TRUE : FALSE);
    if (enabled && focusParked_) {
        SendMessageW(window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(nextButton_), TRUE);
        focusParked_ = false;
    }
}

void UpdateDialog::setProgress(int position) {
    if (position == progressPosition_) return;
    progressPosition_ = position;
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    UpdateWindow(progress_);
}

void UpdateDialog::showWaitCursor(bool on) {
    setWaitCursor(on);
}

void UpdateDialog::showErrorBox(const std::string& text) {
    showBox(text, MB_OK | MB_ICONERROR);
}

bool UpdateDialog::confirm(const std::string& text) {
    return showBox(text, MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

}  // namespace updater::ui
