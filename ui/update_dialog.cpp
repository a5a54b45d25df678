#include "ui/update_dialog.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <vector>

#include "engine/run/process_guard.h"
#include "engine/run/update_run.h"
#include "res/resource.h"
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

}  // namespace

UpdateDialog::UpdateDialog(const UpdateServices& services, UpdateSettings settings, bool releasePending)
    : Dialog(IDD_UPDATE_DIALOG),
      services_(services),
      settings_(std::move(settings)),
      releasePending_(releasePending),
      statusText_(win32::wideFromShown(loadMessage(MessageId::ClickNext))),
      icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {
    setHelpFile(services_.helpFile);
    services_.http.setStopFlag(stop_);
}

bool UpdateDialog::onInitDialog() {
    Dialog::onInitDialog();
    nextCaption_ = windowText(nextButton_);
    const UINT dpi = win32::windowDpi(window());
    RECT panel{0, 0, BANNER_PANEL_WIDTH, BANNER_PANEL_HEIGHT};
    MapDialogRect(window(), &panel);
    banner_.fit(GetDlgItem(window(), IDC_BANNER), {panel.right, panel.bottom});
    win32::keepDialogFromRescaling(window());
    layout_.record(window(), dpi);
    showIcons(dpi);
    try {
        connect();
    } catch (...) {
        reportFailure(std::current_exception());
    }
    addListLine(settings_.productName + " " + settings_.installedVersion);
    if (releasePending_) {
        // Next hands the recovery to an elevated copy; without one to start,
        // only Cancel remains until a start with rights finishes it.
        showStatus(loadMessage(MessageId::RecoveryNeedsRights));
        enableButton(services_.installRights && services_.installRights->mayHandOver());
        return false;
    }
    SendMessageW(window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(nextButton_), TRUE);
    // An elevated copy checks for itself at once, as if Next had been pressed.
    if (services_.installRights && services_.installRights->checksAtStart())
        PostMessageW(window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(nextButton_));
    return false;
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

void UpdateDialog::connect() {
    services_.http.connect(settings_.server, settings_.port, settings_.scheme == UrlScheme::Https);
    connected_ = true;
}

void UpdateDialog::onOK() {
    // A command that arrives while an action runs (only a program can send
    // one then) must not start a second one.
    if (busy_) return;
    if (releasePending_) return recoverElevated();
    busy_ = true;
    // Cleared however the action ends, or the wizard would refuse every press.
    struct ClearOnExit {
        bool& flag;
        ~ClearOnExit() { flag = false; }
    } clearBusy{busy_};
    // The stage is kept here, not read back from the caption, so a caption
    // that another program changes does not change what the button does.
    switch (stage_) {
    case ButtonStage::Next: runCheck(); break;
    case ButtonStage::Update: installWithRights(); break;
    case ButtonStage::Finish: Dialog::onOK(); break;
    }
}

// The check runs on the worker, as the run does, so the window answers and
// Cancel closes it at any moment. Next stays disabled meanwhile, the focus
// on the list.
void UpdateDialog::runCheck() {
    try {
        if (!connected_) connect();
    } catch (...) {
        endWithFailure(std::current_exception());
        return;
    }
    enableButton(false);
    // Shared with the worker, which may be left behind if the wizard closes.
    const auto result = std::make_shared<VersionCheckResult>();
    checking_ = true;
    const BackgroundOutcome outcome = runInBackground(*this, stop_, [this, result](WizardView& view) {
        UpdateContext context = makeContext(view);
        *result = runVersionCheck(context);
    });
    checking_ = false;
    workLeft_ = workLeft_ || outcome.left;
    if (stop_.requested()) return;  // the wizard is closing
    if (outcome.failure) {
        enableButton(true);
        endWithFailure(outcome.failure);
        return;
    }
    takeCheckResult(std::move(*result));
}

// A newer version turns Next into Update; the newest one leaves only Cancel;
// a failed check may be repeated.
void UpdateDialog::takeCheckResult(VersionCheckResult result) {
    const bool found = result.outcome == CheckOutcome::NewerFound;
    // An elevated copy goes on by itself only when its own check found the
    // version it was started for.
    const bool goOn =
        services_.installRights && services_.installRights->continuesWith(found ? result.newVersion : std::string());
    if (result.outcome == CheckOutcome::AlreadyNewest) return;
    if (found) {
        newVersion_ = std::move(result.newVersion);
        manifest_ = std::move(result.manifest);
        showStage(ButtonStage::Update);
    }
    enableButton(true);
    if (goOn) installWithRights();
}

void UpdateDialog::installWithRights() {
    if (!services_.installRights) return runUpdateInBackground();
    const InstallRights::Decision decision = services_.installRights->beforeInstall(newVersion_);
    switch (decision.step) {
    case InstallRights::Step::Install: return runUpdateInBackground();
    // The folder is another updater's now; this wizard has nothing left to do.
    case InstallRights::Step::HandedOver:
    case InstallRights::Step::FolderLost: return endDialog(IDOK);
    case InstallRights::Step::LaunchFailed: showErrorBox(services_.systemErrorText(decision.error)); break;
    case InstallRights::Step::NoRights: break;
    }
    // Nothing changed: Update stays, to be pressed again.
    showStatus(loadMessage(MessageId::NoRightsToInstall));
    enableButton(true);
}

// A cut commit that only rights can finish: an elevated copy recovers it at
// its start and opens its wizard; this one ends. Refused, the status stays.
void UpdateDialog::recoverElevated() {
    if (!services_.installRights) return;
    const InstallRights::Decision decision = services_.installRights->forRecovery();
    switch (decision.step) {
    case InstallRights::Step::HandedOver:
    case InstallRights::Step::FolderLost: return endDialog(IDOK);
    case InstallRights::Step::LaunchFailed: showErrorBox(services_.systemErrorText(decision.error)); break;
    case InstallRights::Step::Install:
    case InstallRights::Step::NoRights: break;
    }
    showStatus(loadMessage(MessageId::RecoveryNeedsRights));
}

// Cancel, Esc and the close box give the check up at once, and a whole
// release's downloads; a whole release's commit ends first. A run file by
// file goes on unseen after the wizard has gone, as it always has.
void UpdateDialog::onCancel() {
    if (checking_) stop_.request();
    if (running_) {
        switch (commitGate_.cancel()) {
        case CommitGate::CancelEffect::WaitsForCommit: cancelAfterRun_ = true; return;
        case CommitGate::CancelEffect::RunStops: stop_.request(); break;
        case CommitGate::CancelEffect::RunGoesOn: break;
        }
    }
    Dialog::onCancel();
}

void UpdateDialog::runUpdateInBackground() {
    try {
        if (!connected_) connect();
    } catch (...) {
        endWithFailure(std::current_exception());
        return;
    }
    commitGate_.reset();
    running_ = true;
    const BackgroundOutcome outcome = runInBackground(*this, stop_, [this](WizardView& view) {
        UpdateContext context = makeContext(view);
        runUpdate(context, manifest_, newVersion_);
    });
    running_ = false;
    workLeft_ = workLeft_ || outcome.left;
    if (cancelAfterRun_) {
        Dialog::onCancel();
        return;
    }
    if (outcome.failure) endWithFailure(outcome.failure);
}

void UpdateDialog::endWithFailure(std::exception_ptr failure) {
    // An interrupted run would otherwise keep the wait cursor for good.
    showWaitCursor(false);
    reportFailure(failure);
}

UpdateContext UpdateDialog::makeContext(WizardView& view) {
    if (!connected_) connect();
    UpdateContext context{.services = services_,
                          .settings = settings_,
                          .view = view,
                          .http = services_.http.connection(),
                          .clock = &clock_,
                          .stop = &stop_,
                          .commitGate = &commitGate_};
    context.consultGuard = [this, &view] {
        return ProcessGuard(services_.processes, services_.codePage, services_.messages, view, clock_)
            .consult(settings_.productName);
    };
    return context;
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

void UpdateDialog::onDestroy() {
    // A worker left inside a WinInet call still uses the session.
    if (!workLeft_) services_.http.close();
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

HICON UpdateDialog::onQueryDragIcon() {
    return icon_;
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

// Each line added to a visible list repaints it, which costs milliseconds
// under Wine; during a run one frame's lines go in while it is held.
void UpdateDialog::holdListPaint(bool hold) {
    SendMessageW(list_, WM_SETREDRAW, hold ? FALSE : TRUE, 0);
    if (!hold) RedrawWindow(list_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
}

void UpdateDialog::showStage(ButtonStage stage) {
    stage_ = stage;
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
