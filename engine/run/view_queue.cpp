#include "engine/run/view_queue.h"

#include <utility>

namespace updater {

// The node is made before the lock is taken and spliced in under it: a
// splice never allocates, so nothing can throw while the lock is held.
ViewQueue::Calls ViewQueue::oneCall(ViewCall call) {
    Calls node(memory_);
    node.push_back(std::move(call));
    return node;
}

void ViewQueue::push(ViewCall call) {
    Calls node = oneCall(std::move(call));
    const std::lock_guard<std::mutex> lock(mutex_);
    // After leave() the node is dropped with `node`, once the lock is released.
    if (!left_) calls_.splice(calls_.end(), node);
}

bool ViewQueue::ask(ViewCall call) {
    Calls node = oneCall(std::move(call));
    std::unique_lock<std::mutex> lock(mutex_);
    if (left_) return false;
    answer_.reset();
    calls_.splice(calls_.end(), node);
    answered_.wait(lock, [this] { return answer_.has_value() || left_; });
    return answer_.value_or(false);
}

ViewQueue::Calls ViewQueue::take() {
    Calls taken(memory_);
    const std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(calls_);
    return taken;
}

void ViewQueue::answer(bool value) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        answer_ = value;
    }
    answered_.notify_all();
}

void ViewQueue::leave() {
    Calls dropped(memory_);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        left_ = true;
        answer_.reset();
        dropped.swap(calls_);
    }
    answered_.notify_all();
}

}  // namespace updater
