#pragma once
// Reads and drives the wizard of the program under test through the probe, the
// way a user would: clicks, keys, the close box, answers to message boxes.
// Every wait polls a condition up to a time limit; none sleeps a fixed time.
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class ProbeClient;

using std::chrono::milliseconds;
constexpr milliseconds kWizardWait{15000};

struct WizardState {
    bool found = false;       // a wizard window of the program exists
    bool visible = false;
    bool minimized = false;
    bool responsive = false;  // answered the list and progress queries (false while a check blocks it)
    std::string caption;      // dialog caption
    std::string status;       // status line (1012)
    std::string nextCaption;  // button 1
    std::string cancelCaption;  // button 2
    bool nextEnabled = false;
    bool cancelEnabled = false;
    // Client sizes in pixels: the window's, the banner's and the list's.
    std::pair<int, int> client, banner, list;
    int progress = -1;                // only when responsive
    std::vector<std::string> lines;   // only when responsive
};
std::ostream& operator<<(std::ostream& out, const WizardState& state);

enum class BoxIcon { None, Stop, Exclamation, Information };
std::ostream& operator<<(std::ostream& out, BoxIcon icon);

struct BoxButton {
    int id = 0;
    std::string caption;
};

struct MessageBoxState {
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::None;
    bool owned = false;  // has an owner window (the wizard)
    std::vector<BoxButton> buttons;
};
std::ostream& operator<<(std::ostream& out, const MessageBoxState& box);

constexpr int kOkId = 1, kCancelId = 2;

class Wizard {
public:
    explicit Wizard(const std::string& exeName = "Update.exe");
    explicit Wizard(ProbeClient& probe, const std::string& exeName = "Update.exe");

    WizardState state();
    // Milliseconds the wizard took to answer a message from another process;
    // nothing when there is no wizard.
    std::optional<long> answerMs();
    // The last state seen: the first that satisfies the condition, or the one at the time limit.
    WizardState waitUntil(const std::function<bool(const WizardState&)>& condition, milliseconds limit = kWizardWait);
    WizardState waitOpen(milliseconds limit = kWizardWait);  // found, visible and answering
    WizardState waitForStatus(const std::string& status, milliseconds limit = kWizardWait);
    WizardState waitForNextCaption(const std::string& caption, milliseconds limit = kWizardWait);
    // The end of a check: its outcome shown and the button given back (or,
    // for the newest version, left disabled).
    WizardState waitForCheckEnd(milliseconds limit = kWizardWait);
    // True once no wizard window is shown any more.
    bool waitGone(milliseconds limit = kWizardWait);

    // Clicks; false when the button is disabled or there is no wizard (then nothing happens).
    bool pressNext();
    bool pressCancel();
    void pressEnter();
    void pressEsc();
    void closeBox();
    void minimize();  // as the caption's minimise button does
    // The system's message for a move to a monitor of dpi, from one of fromDpi.
    void changeDpi(int dpi, int fromDpi);

    std::optional<MessageBoxState> box();
    std::optional<MessageBoxState> waitForBox(milliseconds limit = kWizardWait);
    bool answerBox(int buttonId);

private:
    void command(const std::string& line);
    ProbeClient& probe_;
};

}  // namespace testsupport
