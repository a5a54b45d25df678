#include "engine/run/wizard_flow.h"

#include <memory>
#include <utility>

#include "engine/run/process_guard.h"

namespace updater {

WizardFlow::WizardFlow(const UpdateServices& services, UpdateSettings settings, PendingRelease pending,
                       WizardView& view, WizardWindow& window, WizardWork work)
    : services_(services),
      settings_(std::move(settings)),
      pending_(std::move(pending)),
      view_(view),
      window_(window),
      work_(std::move(work)) {
    services_.http.setStopFlag(stop_);
}

void WizardFlow::start() {
    try {
        connect();
    } catch (...) {
        window_.reportFailure(std::current_exception());
    }
    addListLine(productLine());
    if (pending_.kind != PendingRelease::Kind::None) {
        outcome_ = "failed 0";
        showPending();
        return;
    }
    window_.focusButton();
    // An elevated copy checks for itself at once, as if Next had been pressed.
    if (services_.installRights && services_.installRights->checksAtStart()) window_.pressButtonSoon();
}

// A file in use is no matter of rights: Next tries the recovery again here.
// Without rights, Next hands the recovery to an elevated copy; without one
// to start, only Cancel remains until a start with rights finishes it.
void WizardFlow::showPending() {
    if (pending_.kind == PendingRelease::Kind::FilesInUse) {
        showStatus(loadMessage(MessageId::RecoveryFilesInUse));
        enableButton(true);
        return;
    }
    showStatus(loadMessage(MessageId::RecoveryNeedsRights));
    enableButton(services_.installRights && services_.installRights->mayHandOver());
}

void WizardFlow::showStage(ButtonStage stage) {
    // The stage is kept here, not read back from the caption, so a caption
    // that another program changes does not change what the button does.
    stage_ = stage;
    view_.showStage(stage);
}

void WizardFlow::connect() {
    services_.http.connect(settings_.server, settings_.port, settings_.scheme == UrlScheme::Https);
    connected_ = true;
}

void WizardFlow::pressButton() {
    // A press that arrives while an action runs (only a program can send
    // one then) must not start a second one.
    if (busy_) return;
    if (pending_.kind == PendingRelease::Kind::NeedsRights) return recoverElevated();
    if (pending_.kind == PendingRelease::Kind::FilesInUse) return recoverAgain();
    busy_ = true;
    // Cleared however the action ends, or the wizard would refuse every press.
    struct ClearOnExit {
        bool& flag;
        ~ClearOnExit() { flag = false; }
    } clearBusy{busy_};
    switch (stage_) {
    case ButtonStage::Next: runCheck(); break;
    case ButtonStage::Update: installWithRights(); break;
    case ButtonStage::Finish: window_.close(WizardWindow::End::Finished); break;
    }
}

// The session's connection, made at the first press that needs it; a
// failure ends the press with the failure box.
bool WizardFlow::connectOrEnd() {
    try {
        if (!connected_) connect();
        return true;
    } catch (...) {
        outcome_ = "failed 0";
        endWithFailure(std::current_exception());
        return false;
    }
}

// The check runs on the worker, as the run does, so the window answers and
// Cancel closes it at any moment. Next stays disabled meanwhile.
void WizardFlow::runCheck() {
    if (!connectOrEnd()) return;
    enableButton(false);
    // Shared with the worker, which may be left behind if the wizard closes.
    const auto result = std::make_shared<VersionCheckResult>();
    checking_ = true;
    const WizardWindow::WorkOutcome outcome = window_.runInBackground(stop_, [this, result](WizardView& view) {
        UpdateContext context = makeContext(view);
        *result = work_.check(context);
    });
    checking_ = false;
    workLeft_ = workLeft_ || outcome.left;
    if (stop_.requested()) return;  // the wizard is closing
    if (outcome.failure) {
        outcome_ = "failed 0";
        enableButton(true);
        endWithFailure(outcome.failure);
        return;
    }
    takeCheckResult(std::move(*result));
}

// A newer version turns Next into Update; the newest one leaves only Cancel;
// a failed check may be repeated.
void WizardFlow::takeCheckResult(VersionCheckResult result) {
    const bool found = result.outcome == CheckOutcome::NewerFound;
    // An elevated copy goes on by itself only when its own check found the
    // version it was started for.
    const bool goOn =
        services_.installRights && services_.installRights->continuesWith(found ? result.newVersion : std::string());
    static constexpr const char* kOutcomes[] = {"cancelled", "current", "failed 0"};
    outcome_ = kOutcomes[static_cast<int>(result.outcome)];
    if (result.outcome == CheckOutcome::AlreadyNewest) return;
    if (found) {
        newVersion_ = std::move(result.newVersion);
        manifest_ = std::move(result.manifest);
        showStage(ButtonStage::Update);
    }
    enableButton(true);
    if (goOn) installWithRights();
}

void WizardFlow::installWithRights() {
    if (!services_.installRights) return runUpdateInBackground();
    const InstallRights::Decision decision = services_.installRights->beforeInstall(newVersion_);
    switch (decision.step) {
    case InstallRights::Step::Install: return runUpdateInBackground();
    // The folder is another updater's now; this wizard has nothing left to do.
    case InstallRights::Step::HandedOver:
    case InstallRights::Step::FolderLost: outcome_ = "handed over"; return window_.close(WizardWindow::End::HandedOver);
    case InstallRights::Step::LaunchFailed: showErrorBox(services_.systemErrorText(decision.error)); break;
    case InstallRights::Step::NoRights: break;
    }
    // Nothing changed: Update stays, to be pressed again.
    showStatus(loadMessage(MessageId::NoRightsToInstall));
    enableButton(true);
}

// A cut commit that only rights can finish: an elevated copy recovers it at
// its start and opens its wizard; this one ends. Refused, the status stays.
void WizardFlow::recoverElevated() {
    if (!services_.installRights) return;
    const InstallRights::Decision decision = services_.installRights->forRecovery();
    switch (decision.step) {
    case InstallRights::Step::HandedOver:
    case InstallRights::Step::FolderLost: outcome_ = "handed over"; return window_.close(WizardWindow::End::HandedOver);
    case InstallRights::Step::LaunchFailed: showErrorBox(services_.systemErrorText(decision.error)); break;
    case InstallRights::Step::Install:
    case InstallRights::Step::NoRights: break;
    }
    showStatus(loadMessage(MessageId::RecoveryNeedsRights));
}

// Once the file in use is closed the recovery finishes and the check runs,
// as Next would have started it.
void WizardFlow::recoverAgain() {
    showWaitCursor(true);
    pending_.kind = pending_.retry ? pending_.retry() : PendingRelease::Kind::FilesInUse;
    showWaitCursor(false);
    if (pending_.kind != PendingRelease::Kind::None) return showPending();
    outcome_ = "cancelled";
    showStatus("");
    pressButton();
}

// Cancel, Esc and the close box give the check up at once, and a whole
// release's downloads; a whole release's commit ends first. A run file by
// file goes on unseen after the wizard has gone, as it always has.
void WizardFlow::cancel() {
    if (checking_) stop_.request();
    if (running_) {
        switch (commitGate_.cancel()) {
        case CommitGate::CancelEffect::WaitsForCommit: cancelAfterRun_ = true; return;
        case CommitGate::CancelEffect::RunStops: stop_.request(); break;
        case CommitGate::CancelEffect::RunGoesOn: break;
        }
    }
    window_.close(WizardWindow::End::Cancelled);
}

void WizardFlow::runUpdateInBackground() {
    if (!connectOrEnd()) return;
    // A run again after one that failed starts from the product line alone,
    // so that no line of the last attempt reads as this one's.
    if (ranBefore_) {
        clearList();
        addListLine(productLine());
    }
    ranBefore_ = true;
    commitGate_.reset();
    tally_ = {};
    running_ = true;
    const WizardWindow::WorkOutcome outcome = window_.runInBackground(stop_, [this](WizardView& view) {
        UpdateContext context = makeContext(view);
        work_.run(context, manifest_, newVersion_);
    });
    running_ = false;
    workLeft_ = workLeft_ || outcome.left;
    // A worker left behind still counts; its tally is not read.
    if (!outcome.left) noteRunOutcome(outcome.failure != nullptr);
    if (cancelAfterRun_) {
        window_.close(WizardWindow::End::Cancelled);
        return;
    }
    if (outcome.failure) {
        // The bar shows no part of a run that failed.
        setProgress(0);
        endWithFailure(outcome.failure);
    }
}

// A run that failed on the way counts the file in hand as failed too. A run
// declined at the guard or stopped leaves the outcome as it was.
void WizardFlow::noteRunOutcome(bool interrupted) {
    if (interrupted) tally_.failed += 1;
    else if (!tally_.ended) return;
    outcome_ = tally_.failed > 0 ? "failed " + std::to_string(tally_.failed) : "updated " + std::to_string(tally_.updated);
}

void WizardFlow::endWithFailure(std::exception_ptr failure) {
    // An interrupted run would otherwise keep the wait cursor for good.
    showWaitCursor(false);
    window_.reportFailure(failure);
}

UpdateContext WizardFlow::makeContext(WizardView& view) {
    if (!connected_) connect();
    UpdateContext context{.services = services_,
                          .settings = settings_,
                          .view = view,
                          .http = services_.http.connection(),
                          .clock = &clock_,
                          .stop = &stop_,
                          .commitGate = &commitGate_,
                          .tally = &tally_};
    context.consultGuard = [this, &view] {
        return ProcessGuard(services_.processes, services_.codePage, services_.messages, view, clock_,
                            &eventLog(services_))
            .consult(settings_.productName, settings_.shownName());
    };
    return context;
}

void WizardFlow::windowClosed() {
    const bool elevated = services_.installRights && !services_.installRights->mayHandOver();
    eventLog(services_).write(std::string(kOutcomePrefix) + (elevated ? "elevated wizard " : "wizard ") + outcome_);
    // A worker left inside a call still uses the session.
    if (!workLeft_) services_.http.close();
}

}  // namespace updater
