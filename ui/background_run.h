#pragma once
// The update run on a worker thread while the window's thread keeps
// answering. The worker sees a WizardView whose calls are queued and carried
// out here, in order; the boxes it asks for are shown here and answered.
// Status, progress and list repaints are coalesced to the screen's pace, so
// a fast run does not spend its time drawing states nobody can see.
#include <windows.h>

#include <exception>
#include <functional>

#include "engine/wizard_view.h"

namespace updater::ui {

// What the window's thread does besides carrying out the queued calls.
class RunScreen {
public:
    virtual ~RunScreen() = default;
    // The window's own view, used on its thread only.
    virtual WizardView& windowView() = 0;
    // Stops or resumes painting the list; while stopped, repaintList() shows it.
    virtual void holdListPaint(bool hold) = 0;
    virtual void repaintList() = 0;
};

// Runs work on a worker thread and dispatches this thread's messages until it
// ends, without dialog keyboard handling. Returns what work threw, if anything.
std::exception_ptr runInBackground(RunScreen& screen, const std::function<void(WizardView&)>& work);

}  // namespace updater::ui
