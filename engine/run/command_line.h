#pragma once
// The program's command line and exit codes. Only the first argument is read,
// as /name or -name in any letter case; anything that is not a listed switch
// opens the wizard, the arguments ignored. The README's table lists the
// switches and exit codes; keep it in step with this file.
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// What the command line asks for. Wizard: as without arguments.
// ElevatedRun (internal): the elevated copy that an updater without the
// rights to write its directory starts (engine/run/install_rights.h).
// Recover: finish or undo a whole release's commit that was cut short, and end.
// Check: the version check alone, without a window; the answer is the exit
// code, and the newer version goes to the file its argument names.
// Update: the check and the run that Next and Update start, without a window,
// a box or a person; the outcome is the exit code.
enum class StartMode { Wizard, ElevatedRun, Recover, Check, Update };

// Whether a switch reads the second argument as its text. A switch that
// requires one and lacks it is not that switch.
enum class SwitchArgument { None, Required, Optional };

// One start of the program: the mode and its argument.
struct StartRequest {
    StartMode mode = StartMode::Wizard;
    std::wstring argument;  // the text after a switch that takes one
};

struct ListedSwitch {
    std::wstring_view name;  // lower case, without the leading / or -
    StartMode mode;
    SwitchArgument argument;
};

// The switches the program answers to.
const std::vector<ListedSwitch>& programSwitches();

// The switch that starts a mode, with its leading slash ("/elevated-run");
// empty for the wizard, which needs none.
std::wstring switchFor(StartMode mode);

// The name of a switch argument ("/CHECK" and "-check" give "check"), folded
// to lower case; empty when the argument is not a switch.
std::wstring switchName(std::wstring_view argument);

// arguments: those after the program's own name.
StartRequest parseCommandLine(const std::vector<std::wstring>& arguments,
                             const std::vector<ListedSwitch>& switches = programSwitches());

// The argument as CommandLineToArgvW gives it back: quoted, with quotes and
// the backslashes before them escaped. Text from a server passes through it.
std::wstring quoteArgument(std::wstring_view argument);

constexpr int kExitWizardEnded = 0;  // also after a refusal box, as the program always did
constexpr int kExitUnexpected = 1;   // an error nothing else caught
constexpr int kExitRecovered = 0;    // /recover: one release, or nothing to do
constexpr int kExitNotRecovered = 2; // /recover could not bring the installation back to one release
constexpr int kExitFolderHeld = 3;   // another updater holds the program directory
constexpr int kExitCheckCurrent = 0; // /check: the installed version is the newest
constexpr int kExitCheckNewer = 1;   // /check: a newer version is published
constexpr int kExitCheckFailed = 2;  // /check: no answer, or its FILE could not be written
constexpr int kExitUpdateCurrent = 0;         // /update: updated, or nothing newer was published
constexpr int kExitUpdateFailed = 2;          // /update: the update failed (a whole release changed nothing)
constexpr int kExitUpdateFolderHeld = 3;      // /update: another updater holds the program directory
constexpr int kExitUpdateProductRunning = 4;  // /update: the product runs; nothing changed, nothing ended
constexpr int kExitUpdateNeedsRights = 5;     // /update: the folder or a pending recovery needs rights

}  // namespace updater
