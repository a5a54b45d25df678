#include "ui/background_run.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "win32/unique_handle.h"

namespace updater::ui {
namespace {

// About two frames of a 60 Hz screen: fast enough to see every state a
// person can follow, slow enough that painting stays a small part of a run.
constexpr DWORD kFrameMs = 30;

using win32::EventHandle;
using win32::ThreadHandle;

struct ViewCall {
    enum class Kind { Status, ListLine, DeleteFirstLine, Stage, Enable, Progress, WaitCursor, ErrorBox, Confirm };
    Kind kind;
    std::string text;
    int value = 0;
};

// The calls the worker made and the window's thread has not carried out yet.
class CallQueue {
public:
    CallQueue()
        : questionAsked_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          answered_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

    bool ready() const { return questionAsked_ && answered_; }
    HANDLE questionAsked() const { return questionAsked_.get(); }

    // Calls that only show are picked up at the next frame: waking the
    // window's thread for each would cost more than the call.
    void push(ViewCall call) {
        AcquireSRWLockExclusive(&lock_);
        calls_.push_back(std::move(call));
        ReleaseSRWLockExclusive(&lock_);
    }
    // For calls that need an answer: wakes the window's thread and waits
    // until it gave the answer.
    bool ask(ViewCall call) {
        push(std::move(call));
        SetEvent(questionAsked_.get());
        WaitForSingleObject(answered_.get(), INFINITE);
        return answer_;
    }
    void answer(bool value) {
        answer_ = value;
        SetEvent(answered_.get());
    }
    std::vector<ViewCall> take() {
        std::vector<ViewCall> taken;
        AcquireSRWLockExclusive(&lock_);
        taken.swap(calls_);
        ReleaseSRWLockExclusive(&lock_);
        return taken;
    }

private:
    EventHandle questionAsked_;
    EventHandle answered_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<ViewCall> calls_;
    bool answer_ = false;  // written before answered_ is set, read after
};

// The worker's view: every call becomes a queued one.
class ForwardingView : public WizardView {
public:
    explicit ForwardingView(CallQueue& queue) : queue_(queue) {}

    void showStatus(const std::string& text) override { queue_.push({ViewCall::Kind::Status, text}); }
    void addListLine(const std::string& text) override { queue_.push({ViewCall::Kind::ListLine, text}); }
    void deleteFirstListLine() override { queue_.push({ViewCall::Kind::DeleteFirstLine, {}}); }
    void showStage(ButtonStage stage) override { queue_.push({ViewCall::Kind::Stage, {}, static_cast<int>(stage)}); }
    void enableButton(bool enabled) override { queue_.push({ViewCall::Kind::Enable, {}, enabled}); }
    void setProgress(int position) override {
        if (position == lastProgress_) return;
        lastProgress_ = position;
        queue_.push({ViewCall::Kind::Progress, {}, position});
    }
    // The window's thread answers all the time; nothing to do here.
    void pumpMessages() override {}
    void showWaitCursor(bool on) override { queue_.push({ViewCall::Kind::WaitCursor, {}, on}); }
    void showErrorBox(const std::string& text) override { queue_.ask({ViewCall::Kind::ErrorBox, text}); }
    bool confirm(const std::string& text) override { return queue_.ask({ViewCall::Kind::Confirm, text}); }

private:
    CallQueue& queue_;
    int lastProgress_ = -1;
};

struct Worker {
    const std::function<void(WizardView&)>* work;
    CallQueue* queue;
    std::exception_ptr failure;
};

DWORD WINAPI workerThread(void* parameter) {
    Worker& worker = *static_cast<Worker*>(parameter);
    try {
        ForwardingView view(*worker.queue);
        (*worker.work)(view);
    } catch (...) {
        worker.failure = std::current_exception();
    }
    return 0;
}

// Carries out the queued calls on the window's thread. What only shows
// (status, progress, the list's picture) waits for the next frame; what the
// user must see before a box is shown first.
class CallPlayer {
public:
    CallPlayer(RunScreen& screen, CallQueue& queue) : screen_(screen), view_(screen.windowView()), queue_(queue) {}

    void playQueued() {
        for (ViewCall& call : queue_.take()) play(call);
    }
    DWORD msUntilFrame() const {
        const DWORD since = GetTickCount() - lastFrame_;
        return since >= kFrameMs ? 0 : kFrameMs - since;
    }
    void paintFrame() {
        if (status_) view_.showStatus(*std::exchange(status_, std::nullopt));
        if (progress_) view_.setProgress(*std::exchange(progress_, std::nullopt));
        if (listChanged_) screen_.repaintList();
        listChanged_ = false;
        lastFrame_ = GetTickCount();
    }

private:
    void play(ViewCall& call) {
        switch (call.kind) {
        case ViewCall::Kind::Status: status_ = std::move(call.text); break;
        case ViewCall::Kind::Progress: progress_ = call.value; break;
        case ViewCall::Kind::ListLine:
            view_.addListLine(call.text);
            listChanged_ = true;
            break;
        case ViewCall::Kind::DeleteFirstLine:
            view_.deleteFirstListLine();
            listChanged_ = true;
            break;
        case ViewCall::Kind::Stage: view_.showStage(static_cast<ButtonStage>(call.value)); break;
        case ViewCall::Kind::Enable: view_.enableButton(call.value != 0); break;
        case ViewCall::Kind::WaitCursor: view_.showWaitCursor(call.value != 0); break;
        case ViewCall::Kind::ErrorBox:
            paintFrame();
            view_.showErrorBox(call.text);
            queue_.answer(true);
            break;
        case ViewCall::Kind::Confirm:
            paintFrame();
            queue_.answer(view_.confirm(call.text));
            break;
        }
    }

    RunScreen& screen_;
    WizardView& view_;
    CallQueue& queue_;
    std::optional<std::string> status_;
    std::optional<int> progress_;
    bool listChanged_ = false;
    DWORD lastFrame_ = 0;
};

// Dispatches what is waiting, without dialog keyboard handling: during the
// run only the Cancel button and the close box act, not Enter or Esc. A quit
// is left for the modal loop, which ends on it.
void dispatchWaiting(std::optional<int>& quitCode) {
    MSG message;
    while (!quitCode && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitCode = static_cast<int>(message.wParam);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

BackgroundOutcome runInBackground(RunScreen& screen, const StopFlag& stop, const std::function<void(WizardView&)>& work) {
    (void)stop;
    CallQueue queue;
    Worker worker{&work, &queue, nullptr};
    ThreadHandle thread(queue.ready() ? CreateThread(nullptr, 0, workerThread, &worker, 0, nullptr) : nullptr);
    if (!thread) {
        // No thread to be had: run here; the window then answers only between
        // chunks, through the view's pump.
        try {
            work(screen.windowView());
        } catch (...) {
            return {std::current_exception()};
        }
        return {};
    }

    CallPlayer player(screen, queue);
    screen.holdListPaint(true);
    std::optional<int> quitCode;
    const HANDLE handles[] = {thread.get(), queue.questionAsked()};
    for (bool ended = false; !ended;) {
        const DWORD wakeFor = quitCode ? 0 : QS_ALLINPUT;
        const DWORD woken = MsgWaitForMultipleObjectsEx(2, handles, player.msUntilFrame(), wakeFor, MWMO_INPUTAVAILABLE);
        ended = woken == WAIT_OBJECT_0;
        // A wait that cannot be made would fail at once for good: look for
        // the worker's end at the frame's pace instead of spinning.
        if (woken == WAIT_FAILED) ended = WaitForSingleObject(thread.get(), kFrameMs) == WAIT_OBJECT_0;
        dispatchWaiting(quitCode);
        const bool asked = woken == WAIT_OBJECT_0 + 1;
        if (asked || player.msUntilFrame() == 0) {
            player.playQueued();
            player.paintFrame();
        }
    }
    player.playQueued();
    player.paintFrame();
    screen.holdListPaint(false);
    if (quitCode) PostQuitMessage(*quitCode);
    return {worker.failure};
}

}  // namespace updater::ui
