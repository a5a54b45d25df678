#pragma once
// The view of a check that runs without a window (Update.exe /check): it
// shows nothing and answers no question, so nothing waits for a user.
#include <string>

#include "engine/report/wizard_view.h"

namespace updater {

class QuietView final : public WizardView {
public:
    void showStatus(const std::string&) override {}
    void addListLine(const std::string&) override {}
    void deleteFirstListLine() override {}
    void clearList() override {}
    void showStage(ButtonStage) override {}
    void enableButton(bool) override {}
    void setProgress(int) override {}
    void showWaitCursor(bool) override {}
    void showErrorBox(const std::string&) override {}
    bool confirm(const std::string&) override { return false; }
};

}  // namespace updater
