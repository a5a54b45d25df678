#pragma once
// What the check, the run and the guard need of the wizard window.
#include <string>

namespace updater {

class WizardView {
public:
    virtual ~WizardView() = default;
    // Sets the status text and pushes it to the status line at once.
    virtual void showStatus(const std::string& text) = 0;
    virtual void addListLine(const std::string& text) = 0;
    virtual void deleteFirstListLine() = 0;
    virtual void setButtonCaption(const std::string& text) = 0;
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
