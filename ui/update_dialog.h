#pragma once
// The update wizard: the program's only window. It keeps the controls, the
// icons and the DPI, and forwards its events to the wizard's flow
// (engine/run/wizard_flow.h), which decides what each one does.
#include <windows.h>

#include <functional>
#include <string>

#include "engine/report/messages.h"
#include "engine/report/wizard_view.h"
#include "engine/run/display_language.h"
#include "engine/run/frame_player.h"
#include "engine/run/update_services.h"
#include "engine/run/update_settings.h"
#include "engine/run/wizard_flow.h"
#include "ui/banner_panel.h"
#include "ui/dialog.h"
#include "ui/dialog_layout.h"
#include "win32/unique_handle.h"

namespace updater::ui {

class UpdateDialog : public Dialog, public WizardView, private WizardWindow, private RunScreen {
public:
    // services must outlive the dialog.
    // pending: a whole release's commit was cut short and could not be
    // finished or undone; the wizard says why.
    // language: the one the messages are in, for the controls' font.
    UpdateDialog(const UpdateServices& services, UpdateSettings settings, PendingRelease pending = {},
                 DisplayLanguage language = DisplayLanguage::SimplifiedChinese);

    // WizardView
    void showStatus(const std::string& text) override;
    void addListLine(const std::string& text) override;
    void deleteFirstListLine() override;
    void clearList() override;
    void showStage(ButtonStage stage) override;
    void enableButton(bool enabled) override;
    void setProgress(int position) override;
    void showWaitCursor(bool on) override;
    void showErrorBox(const std::string& text) override;
    bool confirm(const std::string& text) override;

protected:
    bool onInitDialog() override;
    void onOK() override { flow_.pressButton(); }
    void onCancel() override { flow_.cancel(); }
    void updateData(bool save) override;
    void onDestroy() override { flow_.windowClosed(); }
    bool onPaint() override;
    HICON onQueryDragIcon() override { return icon_; }
    void onDpiChanged(UINT dpi, const RECT& suggested) override;
    void reportFailure(std::exception_ptr error) override;

private:
    // WizardWindow
    void focusButton() override;
    void pressButtonSoon() override;
    void close(End end) override;
    WorkOutcome runInBackground(const StopFlag& stop, const std::function<void(WizardView&)>& work) override;

    // RunScreen: the worker's calls reach the window through the flow.
    WizardView& windowView() override { return flow_; }
    void holdListPaint(bool hold) override;

    // The window's icons at the sizes this DPI wants.
    void showIcons(UINT dpi);
    // A box owned by the wizard with the boxes' caption; the button pressed.
    int showBox(const std::string& text, UINT style);
    std::string loadMessage(MessageId id) const { return services_.messages.load(id); }

    const UpdateServices& services_;
    const DisplayLanguage language_;
    HWND nextButton_ = nullptr;
    HWND list_ = nullptr;
    HWND progress_ = nullptr;
    int progressPosition_ = 0;
    bool focusParked_ = false;  // focus moved to the list while Next is disabled
    std::wstring nextCaption_;  // the template's caption of the Next stage
    std::wstring statusText_;
    HICON icon_ = nullptr;      // the system's size, for the minimised window
    win32::IconHandle bigIcon_, smallIcon_;
    BannerPanel banner_;
    DialogLayout layout_;
    WizardFlow flow_;
};

}  // namespace updater::ui
