#pragma once
// Long work on a worker thread while the window's thread keeps answering.
// The worker sees a WizardView whose calls are queued and carried out here,
// in order and at the screen's pace (engine/run/frame_player.h); the boxes it
// asks for are shown here and answered.
#include <windows.h>

#include <exception>
#include <functional>

#include "engine/work/call_gate.h"
#include "engine/run/frame_player.h"
#include "engine/work/stop_flag.h"
#include "engine/report/wizard_view.h"

namespace updater::ui {

struct BackgroundOutcome {
    std::exception_ptr failure;  // what work threw, if anything
    bool left = false;           // stop was requested and the worker did not end within kLeaveAfterMs; it runs on, unowned, until process exit
};

constexpr DWORD kLeaveAfterMs = kLeftCallWaitMs;

// Runs work on a worker thread (named "update worker") and dispatches this
// thread's messages until it ends, without dialog keyboard handling. Once
// stop.requested() is seen, waits at most kLeaveAfterMs more for the worker,
// then returns with left = true. A left worker keeps its own copy of work and
// of its queue; any question it asks from then on is answered "no" at once,
// without touching the window.
BackgroundOutcome runInBackground(RunScreen& screen, const StopFlag& stop, const std::function<void(WizardView&)>& work);

}  // namespace updater::ui
