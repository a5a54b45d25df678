// Crash trials: starts a whole release's update of a multi-file installation
// under Wine, kills the updater (SIGKILL) at a random moment, starts it again
// and checks, once its wizard shows, that the installation is exactly the old
// or exactly the new release with nothing else changed, then lets that
// updater run the update and checks that it completes. Some trials hold the
// product's file open after the kill (the product started again) and start
// the updater once while it is held, and some kill the next start itself at
// a random moment of its recovery; the held file is released before the
// normal start.
//   crash_trials [TRIALS [SEED]]
// Exit status 0 when no trial lost or cut a file and every recovery finished.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/crash/trial_install.h"
#include "tests/support/file_bytes.h"
#include "tests/support/poll.h"
#include "tests/support/updater_process.h"
#include "tests/support/wizard_driver.h"
#include "tests/support/wizard_texts.h"

namespace crashtrials {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

using testsupport::kFinished;
using testsupport::kUpdateCaption;
constexpr milliseconds kStepLimit{30000};
constexpr milliseconds kRunLimit{120000};

long elapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

struct UpdateTiming {
    bool finished = false;
    long openMs = 0;   // start -> wizard open, the start-up recovery included
    long checkMs = 0;  // Next pressed -> button became Update
    long runMs = 0;    // Update pressed -> finished status
    std::string failure;
};

// A whole update as a user does it: Next, Update, Finish. opened sees the
// installation as the wizard opens, after the start-up's recovery.
UpdateTiming normalUpdate(const TrialInstall& install, testsupport::Wizard& wizard,
                          const std::function<void()>& opened = nullptr) {
    UpdateTiming timing;
    auto start = Clock::now();
    testsupport::UpdaterProcess updater(install.product());
    if (!wizard.waitOpen().found) {
        timing.failure = "wizard did not open";
        return timing;
    }
    timing.openMs = elapsedMs(start);
    if (opened) opened();
    start = Clock::now();
    wizard.pressNext();
    testsupport::WizardState state = wizard.waitForNextCaption(kUpdateCaption, kStepLimit);
    timing.checkMs = elapsedMs(start);
    if (state.nextCaption != kUpdateCaption) {
        timing.failure = "check did not offer the update: status \"" + state.status + "\"";
        return timing;
    }
    start = Clock::now();
    wizard.pressNext();
    state = wizard.waitForStatus(kFinished, kRunLimit);
    timing.runMs = elapsedMs(start);
    if (state.status != kFinished) {
        timing.failure = "run did not finish: status \"" + state.status + "\"";
        return timing;
    }
    wizard.pressNext();  // Finish
    updater.waitExit(milliseconds(10000));
    timing.finished = true;
    return timing;
}

enum class Phase { Check, Run };

struct KillPlan {
    Phase phase = Phase::Run;
    long delayMs = 0;  // after the press of Next (check) or Update (run)
    // Drawn for every trial, used after the kill: a hold of the product's
    // file in one trial in four, in two in four where a journal was left; a
    // kill of the next start in one in three, two in three where a journal was left.
    int holdRoll = 0;
    int recoveryKillRoll = 0;
    long recoveryKillMs = 0;  // after the next start began
    bool holdsFile(bool journal) const { return holdRoll == 0 || (journal && holdRoll == 1); }
    bool killsRecovery(bool journal) const { return recoveryKillRoll == 0 || (journal && recoveryKillRoll == 1); }
};

// A sixth of the kills fall into the check; of the rest, a third into the
// last 300 ms of the run as the probe saw it, where the commit is, and the
// others anywhere in the run.
KillPlan choosePlan(std::mt19937& random, const UpdateTiming& calibration) {
    KillPlan plan;
    plan.phase = std::uniform_int_distribution<int>(0, 5)(random) == 0 ? Phase::Check : Phase::Run;
    long from = 0;
    if (plan.phase == Phase::Run && std::uniform_int_distribution<int>(0, 2)(random) == 0)
        from = std::max(0L, calibration.runMs - 300);
    const long span = plan.phase == Phase::Check ? calibration.checkMs + 50 : calibration.runMs;
    plan.delayMs = std::uniform_int_distribution<long>(from, span)(random);
    plan.holdRoll = std::uniform_int_distribution<int>(0, 3)(random);
    plan.recoveryKillRoll = std::uniform_int_distribution<int>(0, 2)(random);
    plan.recoveryKillMs = std::uniform_int_distribution<long>(0, calibration.openMs)(random);
    return plan;
}

// The updater is started, driven to the planned moment and killed there.
void interruptedUpdate(const TrialInstall& install, testsupport::Wizard& wizard, const KillPlan& plan) {
    testsupport::UpdaterProcess updater(install.product());
    if (!wizard.waitOpen().found) throw std::runtime_error("wizard did not open");
    wizard.pressNext();
    if (plan.phase == Phase::Run) {
        if (wizard.waitForNextCaption(kUpdateCaption, kStepLimit).nextCaption != kUpdateCaption)
            throw std::runtime_error("check did not offer the update");
        wizard.pressNext();
    }
    std::this_thread::sleep_for(milliseconds(plan.delayMs));
}  // ~UpdaterProcess: SIGKILL

// The product started again and holding its file, as a running program
// holds its executable, while the updater starts once: a commit cut short
// waits with 124, and nothing changes; one cut before it reached the held
// file finishes without it and opens as usual. The holder ends with this
// object.
struct HeldStart {
    bool journalWaited = false;    // the journal stays, and the wizard said 124
    bool finishedWithout = false;  // the journal went, and the wizard opened as usual
    bool wrongStatus = false;      // a journal was there, and the wizard said anything else
};

HeldStart startWhileHeld(const TrialInstall& install, testsupport::Wizard& wizard, bool journal) {
    char pattern[] = "/tmp/crash-trials-held.XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    const std::string ready = pattern;
    testsupport::WineProcess holder(
        testsupport::toWindowsPath(testsupport::windowsTestBinDir() + "/fake_product.exe"),
        {testsupport::toWindowsPath(ready), testsupport::toWindowsPath(install.product().pathOf("kelmor.exe"))},
        install.product().path());
    const auto held = [&] { return testsupport::readFileBytes(ready).find('\n') != std::string::npos; };
    testsupport::pollUntil([&] { return held() || !holder.running(); }, milliseconds(15000));
    const bool holding = held();
    std::remove(ready.c_str());
    if (!holding) throw std::runtime_error("the file could not be held: " + holder.output());
    HeldStart result;
    testsupport::UpdaterProcess updater(install.product());
    const testsupport::WizardState state = wizard.waitOpen();
    if (!state.found) throw std::runtime_error("wizard did not open while the file was held");
    if (journal) {
        const bool waits = install.inspect().journal;
        const std::string& expected = waits ? testsupport::kRecoveryFilesInUse : testsupport::kClickNext;
        (state.status != expected ? result.wrongStatus : waits ? result.journalWaited : result.finishedWithout) = true;
    }
    if (result.wrongStatus) std::printf("    held start: status \"%s\"\n", state.status.c_str());
    return result;
}  // ~UpdaterProcess, ~WineProcess: both killed, the file released

// The next start, killed at a random moment of its start-up and recovery.
void interruptedStart(const TrialInstall& install, long delayMs) {
    testsupport::UpdaterProcess updater(install.product());
    std::this_thread::sleep_for(milliseconds(delayMs));
}

// Names the moment the kill hit, from what it left behind.
std::string momentHit(const KillPlan& plan, const Inspection& left, int fileCount) {
    if (plan.phase == Phase::Check) return "check";
    if (left.journal) return "commit";
    if (left.newFiles == fileCount) return "after the commit";
    if (left.downloadsLeft > 0) return "download";
    return "run start";
}

void printList(const char* what, const std::vector<std::string>& items) {
    for (const std::string& item : items) std::printf("    %s: %s\n", what, item.c_str());
}

// The figures of a batch, sent from the child that ran it to the parent.
constexpr int kMomentKinds = 5;
const char* const kMoments[kMomentKinds] = {"check", "run start", "download", "commit", "after the commit"};
struct Totals {
    int trials = 0, mixed = 0, losses = 0, partial = 0, failedRecoveries = 0, downloadsLeft = 0, journals = 0;
    int heldStarts = 0, heldWaited = 0, heldFinished = 0, heldWrong = 0, recoveryKills = 0,
        journalsAfterRecoveryKill = 0;
    int moments[kMomentKinds] = {};

    void add(const Totals& other) {
        trials += other.trials;
        heldStarts += other.heldStarts;
        heldWaited += other.heldWaited;
        heldFinished += other.heldFinished;
        heldWrong += other.heldWrong;
        recoveryKills += other.recoveryKills;
        journalsAfterRecoveryKill += other.journalsAfterRecoveryKill;
        mixed += other.mixed;
        journals += other.journals;
        losses += other.losses;
        partial += other.partial;
        failedRecoveries += other.failedRecoveries;
        downloadsLeft += other.downloadsLeft;
        for (int i = 0; i < kMomentKinds; ++i) moments[i] += other.moments[i];
    }
};

void countMoment(Totals& totals, const std::string& moment) {
    for (int i = 0; i < kMomentKinds; ++i)
        if (moment == kMoments[i]) ++totals.moments[i];
}

// One trial: the interrupted update, the restart whose recovery must leave one
// release before its wizard shows, and the update that restart then runs.
void runTrial(int trial, const KillPlan& plan, TrialInstall& install, testsupport::Wizard& wizard, Totals& totals) {
    const int fileCount = install.releaseItems();
    install.reset();
    interruptedUpdate(install, wizard, plan);
    const Inspection left = install.inspect();
    const std::string moment = momentHit(plan, left, fileCount);
    // A kill between a replace's two renames leaves no kelmor.exe, and no
    // product that could start and hold it.
    const bool holds = plan.holdsFile(left.journal) && install.product().exists("kelmor.exe");
    const bool killsRecovery = plan.killsRecovery(left.journal);
    if (holds) {
        const HeldStart held = startWhileHeld(install, wizard, left.journal);
        ++totals.heldStarts;
        totals.heldWaited += held.journalWaited ? 1 : 0;
        totals.heldFinished += held.finishedWithout ? 1 : 0;
        totals.heldWrong += held.wrongStatus ? 1 : 0;
    }
    if (killsRecovery) {
        interruptedStart(install, plan.recoveryKillMs);
        ++totals.recoveryKills;
        totals.journalsAfterRecoveryKill += install.inspect().journal ? 1 : 0;
    }
    Inspection restarted;
    const UpdateTiming recovery = normalUpdate(install, wizard, [&] { restarted = install.inspect(); });
    std::printf("trial %3d: killed %5ld ms into the %s (%s): new %d/%d, downloads %d, journal %s;%s%s after the restart: "
                "new %d/%d, %s, losses %zu, partial %zu",
                trial, plan.delayMs, plan.phase == Phase::Check ? "check" : "run", moment.c_str(), left.newFiles,
                fileCount, left.downloadsLeft, left.journal ? "yes" : "no", holds ? " held start;" : "",
                killsRecovery ? (" next start killed at " + std::to_string(plan.recoveryKillMs) + " ms;").c_str()
                                         : "",
                restarted.newFiles, fileCount,
                restarted.mixed() ? "MIXED" : "one release", restarted.losses.size(), restarted.partial.size());
    std::fflush(stdout);
    totals.mixed += restarted.mixed() ? 1 : 0;
    totals.losses += static_cast<int>(restarted.losses.size());
    totals.partial += static_cast<int>(restarted.partial.size());
    totals.downloadsLeft += left.downloadsLeft;
    totals.journals += left.journal ? 1 : 0;

    const Inspection after = install.inspect();
    const bool recovered = recovery.finished && install.allNew(after);
    if (!recovered) ++totals.failedRecoveries;
    // A trial counts once the update after it is judged; what its kill left counts at once.
    ++totals.trials;
    countMoment(totals, moment);
    std::printf(", next update %s\n", recovered ? "complete" : "FAILED");
    printList("lost", restarted.losses);
    printList("partial", restarted.partial);
    if (!recovered) {
        std::printf("    recovery: %s\n", recovery.failure.c_str());
        printList("after recovery", after.losses);
        printList("after recovery", after.partial);
    }
    std::fflush(stdout);
}

// Runs trials first .. first + count - 1 with a probe of its own; the totals
// so far go to out even when the batch stops early.
void runBatch(int first, int count, unsigned seed, Totals& out) {
    TrialInstall install;
    testsupport::Wizard wizard;
    install.reset();
    const UpdateTiming calibration = normalUpdate(install, wizard);
    const Inspection calibrated = install.inspect();
    if (!calibration.finished || !install.allNew(calibrated)) {
        printList("lost", calibrated.losses);
        printList("partial", calibrated.partial);
        throw std::runtime_error("a normal update does not complete: " + calibration.failure);
    }
    std::printf("batch from trial %d: seed %u, normal update: open %ld ms, check %ld ms, run %ld ms\n", first, seed,
                calibration.openMs, calibration.checkMs, calibration.runMs);
    std::mt19937 random(seed);
    for (int trial = first; trial < first + count; ++trial) runTrial(trial, choosePlan(random, calibration), install, wizard, out);
}

// The probe (a Wine program) lives as long as the process that started it and
// has been seen to crash inside Wine after some hundreds of killed updaters.
// Each batch therefore runs in a child of its own; a batch that stops for the
// tooling is resumed in a new child with the next seed.
constexpr int kBatchTrials = 10;

bool runBatchInChild(int first, int count, unsigned seed, Totals& totals) {
    int channel[2];
    if (pipe(channel) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        close(channel[0]);
        Totals batch;
        int status = 0;
        try {
            runBatch(first, count, seed, batch);
        } catch (const std::exception& error) {
            std::printf("\n    batch stopped: %s\n", error.what());
            status = 3;
        }
        std::fflush(stdout);
        if (write(channel[1], &batch, sizeof batch) != static_cast<ssize_t>(sizeof batch)) status = 3;
        std::exit(status);  // the static probe client ends its probe.exe
    }
    close(channel[1]);
    Totals batch;
    const bool reported = read(channel[0], &batch, sizeof batch) == static_cast<ssize_t>(sizeof batch);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (reported) totals.add(batch);
    return reported && WIFEXITED(status) && WEXITSTATUS(status) == 0 && batch.trials == count;
}

int run(int trials, unsigned seed) {
    {
        TrialInstall sample;
        std::printf("crash trials: %d, seed %u, %zu files, %zu bytes new\n", trials, seed, sample.files().size(),
                    sample.newBytesTotal());
    }
    Totals totals;
    int restarts = 0;
    while (totals.trials < trials) {
        const int before = totals.trials;
        const int count = std::min(kBatchTrials, trials - before);
        const unsigned batchSeed = seed + static_cast<unsigned>(before) + 1000u * static_cast<unsigned>(restarts);
        if (runBatchInChild(before + 1, count, batchSeed, totals)) continue;
        // A batch that keeps stopping without a single trial: broken for good.
        if (++restarts > 3 && totals.trials == before) return 2;
    }

    std::printf("\n| trials | mixed after restart | lost or stray | partial files | failed later updates | downloads left by "
                "kills | journals left by kills | batches resumed |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n| %d | %d | %d | %d | %d | %d | %d | %d |\n\n", totals.trials,
                totals.mixed, totals.losses, totals.partial, totals.failedRecoveries, totals.downloadsLeft,
                totals.journals, restarts);
    std::printf("| moment of the kill | trials |\n|---|---|\n");
    for (int i = 0; i < kMomentKinds; ++i) std::printf("| %s | %d |\n", kMoments[i], totals.moments[i]);
    std::printf("\n| starts with the file held | of them on a cut commit, 124 shown | finished without the held file | "
                "other text on a cut commit | next starts killed | journals those left |\n|---|---|---|---|---|---|\n"
                "| %d | %d | %d | %d | %d | %d |\n",
                totals.heldStarts, totals.heldWaited, totals.heldFinished, totals.heldWrong, totals.recoveryKills,
                totals.journalsAfterRecoveryKill);
    return totals.mixed == 0 && totals.losses == 0 && totals.partial == 0 && totals.failedRecoveries == 0 &&
                   totals.heldWrong == 0
               ? 0
               : 1;
}

}  // namespace
}  // namespace crashtrials

int main(int argc, char** argv) {
    const int trials = argc > 1 ? std::atoi(argv[1]) : 100;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : std::random_device{}();
    try {
        return crashtrials::run(trials, seed);
    } catch (const std::exception& error) {
        std::printf("crash trials stopped: %s\n", error.what());
        return 2;
    }
}
