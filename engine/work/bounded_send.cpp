#include "engine/work/bounded_send.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace updater {

// What the caller and one sending thread share.
struct BoundedSend::Channel {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Call> call;           // posted, not yet taken by the thread
    std::optional<SendResult> result;   // of the call taken
    bool callerLeft = false;            // the call is the thread's; it ends after it
    bool ending = false;                // the owner ends; the idle thread ends
};

namespace {

SendResult sendCatching(const BoundedSend::Call& call) {
    try {
        return call.send();
    } catch (...) {
        return SendResult{};
    }
}

}  // namespace

void BoundedSend::serve(const std::shared_ptr<Channel>& channel) {
    for (;;) {
        std::optional<Call> call;
        {
            std::unique_lock<std::mutex> lock(channel->mutex);
            channel->changed.wait(lock, [&] { return channel->call.has_value() || channel->ending; });
            if (!channel->call) return;
            call.swap(channel->call);
        }
        SendResult result = sendCatching(*call);
        bool left;
        {
            const std::lock_guard<std::mutex> lock(channel->mutex);
            left = channel->callerLeft;
            if (!left) channel->result.emplace(std::move(result));
        }
        if (left) {
            if (call->cleanUp) call->cleanUp();
            return;
        }
        channel->changed.notify_all();
    }
}

BoundedSend::BoundedSend(std::function<void()> onThreadStart) : onThreadStart_(std::move(onThreadStart)) {}

BoundedSend::~BoundedSend() {
    if (!channel_) return;
    {
        const std::lock_guard<std::mutex> lock(channel_->mutex);
        channel_->ending = true;
    }
    channel_->changed.notify_all();
    thread_.joinWithin(UINT32_MAX);  // the idle thread ends at once
}

bool BoundedSend::startThread() {
    auto channel = std::make_shared<Channel>();
    if (!thread_.start([channel, onStart = onThreadStart_] {
            if (onStart) onStart();
            serve(channel);
        }))
        return false;
    channel_ = std::move(channel);
    return true;
}

BoundedSend::Outcome BoundedSend::send(Call call, std::uint32_t limitMs, const StopFlag& stop) {
    if (busy_.exchange(true)) return {End::Refused, {}};
    struct Idle {
        std::atomic<bool>& busy;
        ~Idle() { busy = false; }
    } idleAtEnd{busy_};

    if (!channel_ && !startThread()) {
        // No thread to spare: send here, without a limit of our own.
        return {End::Returned, sendCatching(call)};
    }
    Channel& channel = *channel_;
    {
        const std::lock_guard<std::mutex> lock(channel.mutex);
        channel.result.reset();
        channel.call.emplace(std::move(call));
    }
    channel.changed.notify_all();

    using std::chrono::steady_clock;
    const steady_clock::time_point deadline = steady_clock::now() + std::chrono::milliseconds(limitMs);
    std::optional<End> leftAs;
    {
        std::unique_lock<std::mutex> lock(channel.mutex);
        while (!channel.result) {
            if (stop.requested()) {
                leftAs = End::Stopped;
            } else if (steady_clock::now() >= deadline) {
                leftAs = End::Overran;
            }
            if (leftAs) {
                channel.callerLeft = true;
                break;
            }
            const auto slice = steady_clock::now() + std::chrono::milliseconds(kStopPollMs);
            channel.changed.wait_until(lock, std::min(deadline, slice));
        }
        if (!leftAs) {
            Outcome outcome{End::Returned, std::move(*channel.result)};
            channel.result.reset();
            return outcome;
        }
    }
    // The thread finishes the call alone and ends; the next send starts another.
    thread_.leave();
    channel_.reset();
    return {*leftAs, {}};
}

}  // namespace updater
