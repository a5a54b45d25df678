#include "ui/background_run.h"

#include <memory>
#include <optional>
#include <string_view>

#include "engine/work/clock.h"
#include "engine/run/view_queue.h"
#include "engine/work/leavable_thread.h"
#include "win32/thread_name.h"
#include "win32/unique_handle.h"

namespace updater::ui {
namespace {

// What the worker owns with the window's thread: it outlives the call when
// the worker is left.
struct Worker {
    explicit Worker(std::function<void(WizardView&)> job) : work(std::move(job)) {}
    std::function<void(WizardView&)> work;
    ViewQueue queue;
    // Set as the work ends, for the window's thread to wait on with its messages.
    win32::EventHandle ended{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::exception_ptr failure;  // read only once ended is set
};

// A left worker still borrows the services: the program ends with process
// exit before it destroys them (engine/work/leavable_thread.h).
bool startWorker(LeavableThread& thread, const std::shared_ptr<Worker>& worker) {
    if (!worker->ended) return false;
    return thread.start([worker] {
        win32::nameThread(GetCurrentThread(), L"update worker");
        try {
            QueuedView view(worker->queue);
            worker->work(view);
        } catch (...) {
            worker->failure = std::current_exception();
        }
        SetEvent(worker->ended.get());
    });
}

// The dialog a message's window belongs to, if any: its keys are the
// dialog's (Esc is Cancel; Enter presses the default button, which the
// wizard ignores while it is busy).
HWND owningDialog(HWND window) {
    const HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
    char className[16] = {};
    if (!root || !GetClassNameA(root, className, sizeof className)) return nullptr;
    return std::string_view(className) == "#32770" ? root : nullptr;
}

// Dispatches what is waiting, as the dialog's own loop would. A quit is left
// for the modal loop, which ends on it.
void dispatchWaiting(std::optional<int>& quitCode) {
    MSG message;
    while (!quitCode && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitCode = static_cast<int>(message.wParam);
            break;
        }
        const HWND dialog = owningDialog(message.hwnd);
        if (dialog && IsDialogMessageA(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

BackgroundOutcome runInBackground(RunScreen& screen, const StopFlag& stop, const std::function<void(WizardView&)>& work) {
    const auto worker = std::make_shared<Worker>(work);
    LeavableThread thread(LeavableThread::WhenLeft::HoldsUntilExit);
    if (!startWorker(thread, worker)) {
        // No thread to be had: run here, the window frozen meanwhile.
        try {
            work(screen.windowView());
        } catch (...) {
            return {std::current_exception(), false};
        }
        return {};
    }

    SteadyClock clock;
    FramePlayer player(screen, worker->queue, clock);
    std::optional<int> quitCode;
    std::optional<std::uint64_t> stopSeenMs;
    for (;;) {
        const HANDLE handle = worker->ended.get();
        const DWORD wakeFor = quitCode ? 0 : QS_ALLINPUT;
        const DWORD waitMs = static_cast<DWORD>(player.msUntilFrame());
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &handle, waitMs, wakeFor, MWMO_INPUTAVAILABLE);
        bool ended = woken == WAIT_OBJECT_0;
        // A wait that cannot be made would fail at once for good: look for
        // the worker's end at the frame's pace instead of spinning.
        if (woken == WAIT_FAILED) ended = WaitForSingleObject(handle, FramePlayer::kFrameMs) == WAIT_OBJECT_0;
        dispatchWaiting(quitCode);
        if (ended) break;
        if (player.msUntilFrame() == 0) player.playFrame();
        if (stop.requested()) {
            const std::uint64_t now = clock.nowMs();
            if (!stopSeenMs) stopSeenMs = now;
            if (now - *stopSeenMs >= kLeaveAfterMs) {
                worker->queue.leave();
                thread.leave();
                if (quitCode) PostQuitMessage(*quitCode);
                return {nullptr, true};
            }
        }
    }
    // The body has returned by now; the thread only has to end.
    if (!thread.joinWithin(kLeaveAfterMs)) thread.leave();
    player.playFrame();
    if (quitCode) PostQuitMessage(*quitCode);
    return {worker->failure, false};
}

}  // namespace updater::ui
