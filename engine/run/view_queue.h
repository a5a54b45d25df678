#pragma once
// The worker's side of the wizard: every call it makes on its view is queued
// here and carried out later on the window's thread (see FramePlayer). The
// queue is shared by both threads and outlives either of them, so a worker
// that was left running can go on pushing into it safely.
#include <condition_variable>
#include <list>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <string>

#include "engine/report/wizard_view.h"

namespace updater {

struct ViewCall {
    enum class Kind { Status, ListLine, DeleteFirstLine, ClearList, Stage, Enable, Progress, WaitCursor, ErrorBox, Confirm };
    Kind kind;
    std::string text;
    int value = 0;
};

class ViewQueue {
public:
    using Calls = std::pmr::list<ViewCall>;

    // memory: where the queue's nodes come from; tests give one that fails.
    explicit ViewQueue(std::pmr::memory_resource* memory = std::pmr::get_default_resource()) : memory_(memory) {}
    ViewQueue(const ViewQueue&) = delete;
    ViewQueue& operator=(const ViewQueue&) = delete;

    // Worker side. Calls that only show are picked up at the window's next
    // frame. A failed allocation throws before the lock is taken.
    void push(ViewCall call);
    // A call that needs an answer: waits until the window's thread gives it.
    // Once the window has left, false at once (no, cancel), touching nothing.
    bool ask(ViewCall call);

    // Window side: everything pushed so far, in order.
    Calls take();
    // Answers the question the worker waits on.
    void answer(bool value);
    // The window stops listening: what is queued is dropped, later calls are
    // dropped too, and every question is answered "no".
    void leave();

private:
    Calls oneCall(ViewCall call);

    std::pmr::memory_resource* memory_;
    std::mutex mutex_;
    std::condition_variable answered_;
    Calls calls_{memory_};
    std::optional<bool> answer_;  // of the question asked last
    bool left_ = false;
};

// The WizardView the worker is given: every call becomes a queued one.
class QueuedView : public WizardView {
public:
    explicit QueuedView(ViewQueue& queue) : queue_(queue) {}

    void showStatus(const std::string& text) override { queue_.push({ViewCall::Kind::Status, text}); }
    void addListLine(const std::string& text) override { queue_.push({ViewCall::Kind::ListLine, text}); }
    void deleteFirstListLine() override { queue_.push({ViewCall::Kind::DeleteFirstLine, {}}); }
    void clearList() override { queue_.push({ViewCall::Kind::ClearList, {}}); }
    void showStage(ButtonStage stage) override { queue_.push({ViewCall::Kind::Stage, {}, static_cast<int>(stage)}); }
    void enableButton(bool enabled) override { queue_.push({ViewCall::Kind::Enable, {}, enabled}); }
    // Each chunk of a download sets it; only a change is worth a node.
    void setProgress(int position) override {
        if (position == lastProgress_) return;
        lastProgress_ = position;
        queue_.push({ViewCall::Kind::Progress, {}, position});
    }
    void showWaitCursor(bool on) override { queue_.push({ViewCall::Kind::WaitCursor, {}, on}); }
    void showErrorBox(const std::string& text) override { queue_.ask({ViewCall::Kind::ErrorBox, text}); }
    bool confirm(const std::string& text) override { return queue_.ask({ViewCall::Kind::Confirm, text}); }

private:
    ViewQueue& queue_;
    int lastProgress_ = -1;
};

}  // namespace updater
