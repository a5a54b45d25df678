// The wizard's flow as one table: the state reached by the steps before the
// last, the last step, what the window is told in return and the stage after.
// The check and the run are scripted; a step may come while one is under way.
#include "engine/run/wizard_flow.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace updater {
namespace {

using testsupport::kFinishCaption;
using testsupport::kUpdateCaption;

enum class Step { Start, Press, Cancel, Close };
enum class Answer { Newer, Newest, Failed, Throws };  // of the check; a newer version is 1.3
// Where the check or the run is when the step `during` comes.
enum class Point { Never, Check, Downloads, Commit, FileByFile };

struct FlowSetup {
    PendingRelease::Kind pending = PendingRelease::Kind::None;
    PendingRelease::Kind afterRetry = PendingRelease::Kind::None;  // what a retry of the recovery leaves
    bool rights = true;  // without: the run always goes on here
    bool writable = true;
    unsigned long prompt = 0;  // the launcher's answer
    std::optional<std::string> elevatedFor;
    Answer check = Answer::Newer;
    bool runThrows = false;
    bool connectFails = false;
    Point at = Point::Never;
    Step during = Step::Cancel;
    bool leftOnStop = false;  // a worker told to stop does not end in time
};

// The window and the system around the flow; everything lands in the view's log.
struct FlowRig : WizardWindow, HttpSession, FolderClaimControl, ElevatedLauncher {
    explicit FlowRig(const FlowSetup& setup) : setup(setup) {
        services.systemErrorText = [](unsigned long code) { return "code " + std::to_string(code); };
        if (setup.rights) services.installRights = &rights;
        services.log = &outcomes;
    }
    void step(Step step) {
        if (step == Step::Start) flow.start();
        if (step == Step::Press) flow.pressButton();
        if (step == Step::Cancel) flow.cancel();
        if (step == Step::Close) flow.windowClosed();
    }
    void reach(Point point) {
        if (point == setup.at) step(setup.during);
    }
    void log(const std::string& entry) { view.log.push_back(entry); }

    void focusButton() override { log("focus"); }
    void pressButtonSoon() override { log("pressSoon"); }
    void close(End end) override {
        log(end == End::Finished ? "close:finished" : end == End::HandedOver ? "close:handedOver" : "close:cancelled");
    }
    void reportFailure(std::exception_ptr) override { log("failure"); }
    WorkOutcome runInBackground(const StopFlag& stop, const std::function<void(WizardView&)>& work) override {
        log("work");
        try {
            work(flow);
        } catch (...) {
            return {std::current_exception(), false};
        }
        return {nullptr, setup.leftOnStop && stop.requested()};
    }
    void connect(const std::string&, std::uint16_t, bool) override {
        if (setup.connectFails) throw NetworkError(12029, "refused");
    }
    HttpConnection& connection() override { return http; }
    void close() override { log("session:close"); }
    bool claim() override { return true; }
    void release() override {}
    unsigned long launch(const std::string&) override { return setup.prompt; }

    VersionCheckResult check() {
        reach(Point::Check);
        if (setup.check == Answer::Throws) throw std::runtime_error("check");
        const CheckOutcome outcomes[] = {CheckOutcome::NewerFound, CheckOutcome::AlreadyNewest, CheckOutcome::Failed};
        const CheckOutcome outcome = outcomes[static_cast<int>(setup.check)];
        return {outcome, outcome == CheckOutcome::NewerFound ? "1.3" : "", "manifest"};
    }
    // A whole release passes the commit gate; a run file by file does not.
    void run(UpdateContext& context) {
        if (setup.runThrows) throw std::runtime_error("run");
        reach(Point::FileByFile);
        if (setup.at == Point::Downloads || setup.at == Point::Commit) {
            context.commitGate->beginDownloads();
            reach(Point::Downloads);
            if (!context.commitGate->beginCommit()) return;
            reach(Point::Commit);
        }
        *context.tally = {.updated = 2, .failed = 0, .ended = true};
        context.view.showStage(ButtonStage::Finish);
    }
    struct : EventLog {
        void write(std::string_view line) override { last = line; }
        std::string last;
    } outcomes;

    FlowSetup setup;
    fakes::FakeMessages messages;
    fakes::FakeView view;
    fakes::FakeHttp http;
    fakes::FakeFileSystem files;
    fakes::FakeDateParser dates;
    fakes::FakeProcessSystem processes;
    UpdateSettings settings{.productName = "Kelmor", .installedVersion = "1.0"};
    UpdateServices services{.codePage = cp936(), .messages = messages, .http = *this, .files = files,
                            .dates = dates, .processes = processes, .systemErrorText = nullptr};
    InstallRights rights{{.programDirectoryWritable = [this] { return setup.writable; },
                          .claim = *this, .launcher = *this, .elevatedFor = setup.elevatedFor}};
    WizardFlow flow{services, settings, {setup.pending, [this] { return setup.afterRetry; }}, view, *this,
                    {.check = [this](UpdateContext&) { return check(); },
                     .run = [this](UpdateContext& context, const std::string&, const std::string&) { run(context); }}};
};

TEST(WizardFlow, EachStepInEachStateTellsTheWindowWhatToShowAndWhereTheWizardGoes) {
    struct FlowRow {
        const char* name;
        FlowSetup setup;
        std::vector<Step> steps;
        std::vector<std::string> actions;  // of the last step
        ButtonStage stage;
        const char* outcome = nullptr;  // the log's last line once the window goes, after "end: "
    };
    const fakes::FakeMessages messages;
    const std::string noRights = "status:" + messages.load(MessageId::NoRightsToInstall);
    const std::string needsRights = "status:" + messages.load(MessageId::RecoveryNeedsRights);
    const std::string inUse = "status:" + messages.load(MessageId::RecoveryFilesInUse);
    const std::string toUpdate = "caption:" + kUpdateCaption, toFinish = "caption:" + kFinishCaption;
    using S = Step;
    const auto Rights = PendingRelease::Kind::NeedsRights, InUse = PendingRelease::Kind::FilesInUse;
    const auto N = ButtonStage::Next, U = ButtonStage::Update, F = ButtonStage::Finish;
    const FlowRow rows[] = {
        // The window comes up.
        {"start", {}, {S::Start}, {"list:Kelmor 1.0", "focus"}, N, "wizard cancelled"},
        {"start, no connection", {.connectFails = true}, {S::Start}, {"failure", "list:Kelmor 1.0", "focus"}, N},
        {"start of the copy elevated for 1.3", {.elevatedFor = "1.3"}, {S::Start}, {"list:Kelmor 1.0", "focus", "pressSoon"}, N},
        {"start, release pending", {.pending = Rights}, {S::Start}, {"list:Kelmor 1.0", needsRights, "enable"}, N},
        {"start, release pending in an elevated copy", {.pending = Rights, .elevatedFor = ""}, {S::Start},
         {"list:Kelmor 1.0", needsRights, "disable"}, N},
        {"start, release pending on a file in use", {.pending = InUse}, {S::Start}, {"list:Kelmor 1.0", inUse, "enable"}, N},
        // Next.
        {"next finds a newer version", {}, {S::Start, S::Press}, {"disable", "work", toUpdate, "enable"}, U},
        {"next finds the newest", {.check = Answer::Newest}, {S::Start, S::Press}, {"disable", "work"}, N, "wizard current"},
        {"next fails, to be repeated", {.check = Answer::Failed}, {S::Start, S::Press}, {"disable", "work", "enable"}, N, "wizard failed 0"},
        {"next throws", {.check = Answer::Throws}, {S::Start, S::Press}, {"disable", "work", "enable", "wait:off", "failure"}, N, "wizard failed 0"},
        {"next, still no connection", {.connectFails = true}, {S::Start, S::Press}, {"wait:off", "failure"}, N},
        {"next in the copy elevated for 1.3 goes on", {.elevatedFor = "1.3"}, {S::Start, S::Press},
         {"disable", "work", toUpdate, "enable", "work", toFinish}, F, "elevated wizard updated 2"},
        {"next in the copy elevated for 1.2 stops", {.elevatedFor = "1.2"}, {S::Start, S::Press},
         {"disable", "work", toUpdate, "enable"}, U},
        // During the check.
        {"cancel while checking", {.at = Point::Check}, {S::Start, S::Press}, {"disable", "work", "close:cancelled"}, N, "wizard cancelled"},
        {"press while checking", {.at = Point::Check, .during = S::Press}, {S::Start, S::Press},
         {"disable", "work", toUpdate, "enable"}, U},
        {"window closes after the check was left", {.at = Point::Check, .leftOnStop = true}, {S::Start, S::Press, S::Close}, {}, N},
        // Update.
        {"update runs here", {}, {S::Start, S::Press, S::Press}, {"work", toFinish}, F, "wizard updated 2"},
        {"update runs here without rights to decide", {.rights = false}, {S::Start, S::Press, S::Press}, {"work", toFinish}, F},
        {"update hands over", {.writable = false}, {S::Start, S::Press, S::Press}, {"close:handedOver"}, U, "wizard handed over"},
        {"update, prompt refused", {.writable = false, .prompt = kPromptRefused}, {S::Start, S::Press, S::Press},
         {noRights, "enable"}, U},
        {"update, launch failed", {.writable = false, .prompt = 2}, {S::Start, S::Press, S::Press},
         {"error:code 2", noRights, "enable"}, U},
        {"update in an elevated copy that cannot write", {.writable = false, .elevatedFor = "1.2"},
         {S::Start, S::Press, S::Press}, {noRights, "enable"}, U},
        {"update throws", {.runThrows = true}, {S::Start, S::Press, S::Press},
         {"work", "progress:0", "wait:off", "failure"}, U, "wizard failed 1"},
        {"update again starts from the product line", {.runThrows = true}, {S::Start, S::Press, S::Press, S::Press},
         {"clearList", "list:Kelmor 1.0", "work", "progress:0", "wait:off", "failure"}, U, "wizard failed 1"},
        {"cancel at update", {}, {S::Start, S::Press, S::Cancel}, {"close:cancelled"}, U, "wizard cancelled"},
        // During the run.
        {"cancel while a whole release downloads", {.at = Point::Downloads}, {S::Start, S::Press, S::Press},
         {"work", "close:cancelled"}, U, "wizard cancelled"},
        {"cancel during the commit waits for it", {.at = Point::Commit}, {S::Start, S::Press, S::Press},
         {"work", toFinish, "close:cancelled"}, F, "wizard updated 2"},
        {"cancel during a run file by file", {.at = Point::FileByFile}, {S::Start, S::Press, S::Press},
         {"work", "close:cancelled", toFinish}, F},
        // Finish, and a pending release.
        {"finish", {}, {S::Start, S::Press, S::Press, S::Press}, {"close:finished"}, F},
        {"window closes at finish", {}, {S::Start, S::Press, S::Press, S::Close}, {"session:close"}, F},
        {"pending: next hands over", {.pending = Rights}, {S::Start, S::Press}, {"close:handedOver"}, N},
        {"pending: prompt refused", {.pending = Rights, .prompt = kPromptRefused}, {S::Start, S::Press}, {needsRights}, N},
        {"pending: launch failed", {.pending = Rights, .prompt = 5}, {S::Start, S::Press}, {"error:code 5", needsRights}, N},
        {"in use: next recovers, then checks", {.pending = InUse}, {S::Start, S::Press},
         {"wait:on", "wait:off", "status:", "disable", "work", toUpdate, "enable"}, U},
        {"in use: next finds it still in use", {.pending = InUse, .afterRetry = InUse}, {S::Start, S::Press},
         {"wait:on", "wait:off", inUse, "enable"}, N},
        {"in use: next finds no rights now", {.pending = InUse, .afterRetry = Rights}, {S::Start, S::Press},
         {"wait:on", "wait:off", needsRights, "enable"}, N},
        {"pending: cancel", {.pending = Rights}, {S::Start, S::Cancel}, {"close:cancelled"}, N, "wizard failed 0"},
    };
    for (const FlowRow& row : rows) {
        SCOPED_TRACE(row.name);
        FlowRig rig(row.setup);
        for (std::size_t i = 0; i < row.steps.size(); ++i) {
            if (i + 1 == row.steps.size()) rig.view.log.clear();
            rig.step(row.steps[i]);
        }
        EXPECT_EQ(rig.view.log, row.actions);
        EXPECT_EQ(rig.flow.stage(), row.stage);
        if (!row.outcome) continue;
        rig.flow.windowClosed();
        EXPECT_EQ(rig.outcomes.last, std::string("end: ") + row.outcome);
    }
}

}  // namespace
}  // namespace updater
