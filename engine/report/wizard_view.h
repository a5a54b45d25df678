#pragma once
// What the check, the run and the guard need of the wizard window.
#include <string>

namespace updater {

// What a press of the wizard's one active button does: the check, the run,
// or closing the wizard. The button's caption shows the stage.
enum class ButtonStage { Next, Update, Finish };

class WizardView {
public:
    virtual ~WizardView() = default;
    // Sets the status text and pushes it to the status line at once.
    virtual void showStatus(const std::string& text) = 0;
    virtual void addListLine(const std::string& text) = 0;
    virtual void deleteFirstListLine() = 0;
    virtual void clearList() = 0;
    // Moves the button to the stage and gives it the stage's caption.
    virtual void showStage(ButtonStage stage) = 0;
    virtual void enableButton(bool enabled) = 0;
    // Moves the progress bar (range 0..100); repaints only when it changes.
    virtual void setProgress(int position) = 0;
    virtual void showWaitCursor(bool on) = 0;
    // Message box with the stop icon and an OK button, owned by the wizard.
    virtual void showErrorBox(const std::string& text) = 0;
    // OK/Cancel box with the exclamation icon, owned by the wizard; true for OK.
    virtual bool confirm(const std::string& text) = 0;
};

}  // namespace updater
