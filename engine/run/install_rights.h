#pragma once
// Rights only to install. The wizard and the check run with the user's own
// rights. When the program directory cannot be written, pressing Update
// hands the run to an elevated copy of the program, which gets
// "/elevated-run VERSION" and nothing else, checks for itself, and goes on
// to the run only when its own check finds VERSION.
//
// Whether the directory can be written is learnt by writing to it, never
// from the token: under Wine every process reports administrator rights, and
// on Windows the token says nothing of the directory's access list.
#include <functional>
#include <optional>
#include <string>

namespace updater {

// The system's code for a refused consent prompt (ERROR_CANCELLED).
inline constexpr unsigned long kPromptRefused = 1223;

// The one-updater-per-folder claim, as the hand-over needs it.
class FolderClaimControl {
public:
    virtual ~FolderClaimControl() = default;
    virtual bool claim() = 0;  // true when this process holds the folder now
    virtual void release() = 0;
};

// Starts an elevated copy of this program with "/elevated-run <version>".
class ElevatedLauncher {
public:
    virtual ~ElevatedLauncher() = default;
    // 0 once the copy runs; otherwise the system's code, kPromptRefused when
    // the user refused the prompt.
    virtual unsigned long launch(const std::string& version) = 0;
};

enum class HandOver { Started, Refused, Failed, FolderLost };
struct HandOverResult {
    HandOver outcome;
    unsigned long error = 0;  // the launcher's code when it did not start
};

// The copy claims the folder as it starts, so the claim is released first;
// it is taken back when the copy does not start. FolderLost: it did not
// start, and another updater took the folder meanwhile.
HandOverResult handOverToElevatedCopy(FolderClaimControl& claim, ElevatedLauncher& launcher,
                                      const std::string& version);

// What pressing Update does with the rights this process has.
class InstallRights {
public:
    struct Parts {
        std::function<bool()> programDirectoryWritable;  // the write probe
        FolderClaimControl& claim;
        ElevatedLauncher& launcher;
        // Set in an elevated copy: the version it was started for (empty when
        // the brand asked for rights at start). Such a copy never starts another.
        std::optional<std::string> elevatedFor;
    };
    explicit InstallRights(Parts parts) : parts_(std::move(parts)) {}

    enum class Step {
        Install,       // the directory can be written: run here
        HandedOver,    // the elevated copy runs: this wizard ends
        NoRights,      // refused, or this is the elevated copy and still cannot write
        LaunchFailed,  // the copy did not start for another reason (error)
        FolderLost,    // another updater took the folder during the hand-over
    };
    struct Decision {
        Step step;
        unsigned long error = 0;
    };
    Decision beforeInstall(const std::string& version);
    // A cut commit that only rights can finish or undo: the same hand-over,
    // for a copy that recovers at its start and opens its wizard.
    Decision forRecovery();
    // Whether this process may start an elevated copy: an elevated one never does.
    bool mayHandOver() const { return !parts_.elevatedFor; }

    // An elevated copy started for a version runs its check at once.
    bool checksAtStart() const { return parts_.elevatedFor && !parts_.elevatedFor->empty(); }
    // Whether a check that found this version goes on as if Update had been
    // pressed: in an elevated copy started for it, after its first check only.
    bool continuesWith(const std::string& foundVersion);

private:
    Decision handOver(const std::string& version);
    Parts parts_;
    bool firstCheckDone_ = false;
};

}  // namespace updater
