#pragma once
// The update wizard: the program's only window. It owns the settings and the
// texts shown, connects the session it is given, and lets the engine work.
#include <windows.h>

#include <functional>
#include <string>

#include "engine/work/clock.h"
#include "engine/report/messages.h"
#include "engine/work/stop_flag.h"
#include "engine/run/update_services.h"
#include "engine/run/update_settings.h"
#include "engine/run/version_check.h"
#include "engine/report/wizard_view.h"
#include "ui/background_run.h"
#include "ui/banner_panel.h"
#include "ui/dialog.h"
#include "ui/dialog_layout.h"
#include "win32/unique_handle.h"

namespace updater::ui {

class UpdateDialog : public Dialog, public WizardView, private RunScreen {
public:
    // services must outlive the dialog.
    // releasePending: a whole release's commit was cut short and could not be
    // finished or undone; the wizard says so and offers nothing.
    UpdateDialog(const UpdateServices& services, UpdateSettings settings, bool releasePending = false);

    // A worker was left running inside a call that cannot be woken; it still
    // uses the services, so the process must end before they are destroyed.
    bool leftWorkBehind() const { return workLeft_; }

    // WizardView
    void showStatus(const std::string& text) override;
    void addListLine(const std::string& text) override;
    void deleteFirstListLine() override;
    void showStage(ButtonStage stage) override;
    void enableButton(bool enabled) override;
    void setProgress(int position) override;
    void showWaitCursor(bool on) override;
    void showErrorBox(const std::string& text) override;
    bool confirm(const std::string& text) override;

protected:
    bool onInitDialog() override;
    void onOK() override;
    void updateData(bool save) override;
    void onDestroy() override;
    bool onPaint() override;
    HICON onQueryDragIcon() override;
    void onDpiChanged(UINT dpi, const RECT& suggested) override;
    void reportFailure(std::exception_ptr error) override;

private:
    void runCheck();
    void takeCheckResult(VersionCheckResult result);
    // Update: the run here, or in an elevated copy when this process cannot
    // write the program directory.
    void installWithRights();
    void recoverElevated();
    void onCancel() override;
    // The run, on a worker thread while this one keeps the window answering.
    void runUpdateInBackground();
    // A failure the action did not handle ends it with one box.
    void endWithFailure(std::exception_ptr failure);
    UpdateContext makeContext(WizardView& view);

    // RunScreen
    WizardView& windowView() override { return *this; }
    void holdListPaint(bool hold) override;

    void connect();
    // The window's icons at the sizes this DPI wants.
    void showIcons(UINT dpi);
    // A box owned by the wizard with the boxes' caption; the button pressed.
    int showBox(const std::string& text, UINT style);
    std::string loadMessage(MessageId id) const { return services_.messages.load(id); }

    const UpdateServices& services_;
    const UpdateSettings settings_;
    bool connected_ = false;

    HWND nextButton_ = nullptr;
    HWND list_ = nullptr;
    HWND progress_ = nullptr;
    int progressPosition_ = 0;
    bool focusParked_ = false;  // focus moved to the list while Next is disabled
    bool busy_ = false;         // a check or a run is going on
    ButtonStage stage_ = ButtonStage::Next;
    std::wstring nextCaption_;  // the template's caption of the Next stage
    SteadyClock clock_;
    StopFlag stop_;  // raised to end long work early
    CommitGate commitGate_;       // where Cancel meets a whole release's commit
    bool running_ = false;        // the run is going on
    bool cancelAfterRun_ = false; // Cancel came during a commit, which ends first
    const bool releasePending_;

    std::wstring statusText_;
    HICON icon_ = nullptr;     // the system's size, for the minimised window
    win32::IconHandle bigIcon_, smallIcon_;
    BannerPanel banner_;
    DialogLayout layout_;
    std::string newVersion_;
    std::string manifest_;     // what the check fetched and verified, for the run
    bool checking_ = false;
    bool workLeft_ = false;    // a worker told to stop did not end in time
};

}  // namespace updater::ui
