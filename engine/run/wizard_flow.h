#pragma once
// The wizard's flow: what its one button, Cancel and the window's start do
// at each stage, apart from the window that shows it. The window forwards
// its events here and the flow acts through the window's view, which it
// passes on as a view of its own so that it always knows the stage.
#include <exception>
#include <functional>
#include <string>

#include "engine/run/update_run.h"
#include "engine/run/update_services.h"
#include "engine/run/update_settings.h"
#include "engine/run/version_check.h"
#include "engine/work/clock.h"
#include "engine/work/commit_gate.h"
#include "engine/work/stop_flag.h"

namespace updater {

// What the flow needs of the wizard's window besides its view.
class WizardWindow {
public:
    enum class End {
        Finished,    // Finish pressed
        HandedOver,  // the folder is another updater's now
        Cancelled,   // Cancel, Esc or the close box
    };
    struct WorkOutcome {
        std::exception_ptr failure;  // what the work threw, if anything
        bool left = false;           // stopped and not ended in time; it runs on unowned
    };

    virtual ~WizardWindow() = default;
    virtual void focusButton() = 0;
    // As if the button were pressed, once the window is up.
    virtual void pressButtonSoon() = 0;
    virtual void close(End end) = 0;
    // The box for a failure that nothing handled, with the log's line for it.
    virtual void reportFailure(std::exception_ptr failure) = 0;
    // Runs work on a worker while the window keeps answering; work gets the
    // view to use from there. Returns once the work ended or was left.
    virtual WorkOutcome runInBackground(const StopFlag& stop, const std::function<void(WizardView&)>& work) = 0;
};

// A whole release's commit that was cut short and could not be finished or
// undone when the wizard started.
struct PendingRelease {
    enum class Kind {
        None,
        NeedsRights,  // the directory cannot be written: only an elevated copy can recover
        FilesInUse,   // it can, but a file was in use: Next tries again here
    };
    Kind kind = Kind::None;
    // Runs the recovery again; the kind it leaves.
    std::function<Kind()> retry{};
};

// The check and the run the wizard starts; a test may script them.
struct WizardWork {
    std::function<VersionCheckResult(UpdateContext&)> check = runVersionCheck;
    std::function<void(UpdateContext&, const std::string& manifest, const std::string& version)> run = runUpdate;
};

class WizardFlow : public WizardView {
public:

    // services must outlive the flow. pending: a whole release's commit was
    // cut short and could not be finished or undone; the wizard says why and
    // offers only what may recover it.
    WizardFlow(const UpdateServices& services, UpdateSettings settings, PendingRelease pending, WizardView& view,
               WizardWindow& window, WizardWork work = {});

    // The window is up.
    void start();
    // The one button: Next, Update or Finish by the stage.
    void pressButton();
    // Cancel, Esc and the close box.
    void cancel();
    // The window is being destroyed: the log gets the wizard's outcome line.
    void windowClosed();

    ButtonStage stage() const { return stage_; }

    // WizardView: the window's own, the stage noted on the way.
    void showStatus(const std::string& text) override { view_.showStatus(text); }
    void addListLine(const std::string& text) override { view_.addListLine(text); }
    void deleteFirstListLine() override { view_.deleteFirstListLine(); }
    void clearList() override { view_.clearList(); }
    void showStage(ButtonStage stage) override;
    void enableButton(bool enabled) override { view_.enableButton(enabled); }
    void setProgress(int position) override { view_.setProgress(position); }
    void showWaitCursor(bool on) override { view_.showWaitCursor(on); }
    void showErrorBox(const std::string& text) override { view_.showErrorBox(text); }
    bool confirm(const std::string& text) override { return view_.confirm(text); }

private:
    void connect();
    bool connectOrEnd();
    void runCheck();
    void takeCheckResult(VersionCheckResult result);
    // Update: the run here, or in an elevated copy when this process cannot
    // write the program directory.
    void installWithRights();
    void recoverElevated();
    void recoverAgain();
    void showPending();
    void runUpdateInBackground();
    // A failure the action did not handle ends it with one box.
    void endWithFailure(std::exception_ptr failure);
    void noteRunOutcome(bool interrupted);
    UpdateContext makeContext(WizardView& view);
    std::string loadMessage(MessageId id) const { return services_.messages.load(id); }
    std::string productLine() const { return settings_.shownName() + " " + settings_.installedVersion; }

    const UpdateServices& services_;
    const UpdateSettings settings_;
    PendingRelease pending_;
    WizardView& view_;
    WizardWindow& window_;
    const WizardWork work_;

    ButtonStage stage_ = ButtonStage::Next;
    bool connected_ = false;
    bool busy_ = false;            // a check or a run is going on
    bool checking_ = false;
    bool running_ = false;
    bool ranBefore_ = false;       // a run was started in this wizard
    bool cancelAfterRun_ = false;  // Cancel came during a commit, which ends first
    bool workLeft_ = false;        // a worker told to stop did not end in time
    // How the wizard ends if it ends now, for the log: "cancelled" until a
    // check or a run says otherwise.
    std::string outcome_ = "cancelled";
    RunTally tally_;
    std::string newVersion_;
    std::string manifest_;         // what the check fetched and verified, for the run
    SteadyClock clock_;
    StopFlag stop_;                // raised to end long work early
    CommitGate commitGate_;        // where Cancel meets a whole release's commit
};

}  // namespace updater
