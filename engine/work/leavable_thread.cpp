#include "engine/work/leavable_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace updater {
namespace {

// Counted, never uncounted: a left thread may end at any moment, but what it
// borrowed may have been reached through it until then.
std::atomic<int> heldUntilExit{0};

}  // namespace

struct LeavableThread::End {
    std::mutex mutex;
    std::condition_variable reached;
    bool reachedEnd = false;
};

LeavableThread::~LeavableThread() {
    if (thread_.joinable()) thread_.join();
}

bool LeavableThread::start(std::function<void()> body) {
    if (thread_.joinable()) return false;
    auto end = std::make_shared<End>();
    try {
        thread_ = std::thread([end, body = std::move(body)] {
            body();
            // Notified under the lock: the owner may go once it has seen the end.
            const std::lock_guard<std::mutex> lock(end->mutex);
            end->reachedEnd = true;
            end->reached.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    end_ = std::move(end);
    return true;
}

bool LeavableThread::joinWithin(std::uint32_t waitMs) {
    if (!thread_.joinable()) return true;
    {
        std::unique_lock<std::mutex> lock(end_->mutex);
        if (!end_->reached.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return end_->reachedEnd; }))
            return false;
    }
    thread_.join();
    end_.reset();
    return true;
}

void LeavableThread::leave() {
    if (!thread_.joinable()) return;
    if (policy_ == WhenLeft::HoldsUntilExit) ++heldUntilExit;
    thread_.detach();
    end_.reset();
}

bool LeavableThread::anyHeldUntilExit() { return heldUntilExit.load() > 0; }

}  // namespace updater
