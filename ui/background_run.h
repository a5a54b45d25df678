#pragma once
// The update run on a worker thread while the window's thread keeps
// answering. The worker sees a WizardView whose calls are queued and carried
// out here, in order; the boxes it asks for are shown here and answered.
// Status, progress and list repaints are coalesced to the screen's pace, so
// a fast run does not spend its time drawing states nobody can see.
#include <windows.h>

#include <exception>
#include <functional>

#include "engine/stop_flag.h"
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

struct BackgroundOutcome {
    std::exception_ptr failure;  // what work threw, if anything
    // Stop was requested and the worker did not end in time: it runs on,
    // unowned, until the process ends.
    bool left = false;
};

// How long a worker told to stop may take before it is left.
constexpr DWORD kLeaveAfterMs = 5000;

// Runs work on a worker thread and dispatches this thread's messages until it
// ends, without dialog keyboard handling. Once stop is requested, waits at
// most kLeaveAfterMs more for the worker.
BackgroundOutcome runInBackground(RunScreen& screen, const StopFlag& stop, const std::function<void(WizardView&)>& work);

}  // namespace updater::ui
