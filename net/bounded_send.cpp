#include "net/bounded_send.h"

#include <utility>

#include "win32/unique_handle.h"

namespace updater::net {

// One sending thread and what it shares with the caller. The caller posts a
// request and waits for done; after an overrun it forgets the channel, and
// the thread, once its call returns, closes the request and ends.
struct BoundedSend::Channel {
    win32::EventHandle work{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    win32::EventHandle done{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    SRWLOCK lock = SRWLOCK_INIT;
    HINTERNET request = nullptr;
    bool abandoned = false;  // by an overrunning caller, or by the owner's end
    bool sent = false;
    DWORD errorCode = 0;

    bool ready() const { return work && done; }
};

DWORD WINAPI BoundedSend::sendingThread(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Channel>> owned(static_cast<std::shared_ptr<Channel>*>(parameter));
    Channel& channel = **owned;
    for (;;) {
        WaitForSingleObject(channel.work.get(), INFINITE);
        AcquireSRWLockExclusive(&channel.lock);
        HINTERNET request = channel.request;
        const bool stop = channel.abandoned;
        ReleaseSRWLockExclusive(&channel.lock);
        if (stop) return 0;

        const BOOL sent = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
        const DWORD code = sent ? ERROR_SUCCESS : GetLastError();

        AcquireSRWLockExclusive(&channel.lock);
        const bool abandoned = channel.abandoned;
        channel.sent = sent != FALSE;
        channel.errorCode = code;
        channel.request = nullptr;
        ReleaseSRWLockExclusive(&channel.lock);
        if (abandoned) {
            InternetCloseHandle(request);
            return 0;
        }
        SetEvent(channel.done.get());
    }
}

BoundedSend::BoundedSend() = default;

BoundedSend::~BoundedSend() {
    if (!channel_) return;
    AcquireSRWLockExclusive(&channel_->lock);
    channel_->abandoned = true;
    ReleaseSRWLockExclusive(&channel_->lock);
    SetEvent(channel_->work.get());
}

BoundedSend::Outcome BoundedSend::send(win32::RequestHandle& request, DWORD limitMs) {
    Outcome outcome;
    if (!channel_) {
        auto channel = std::make_shared<Channel>();
        auto* parameter = new std::shared_ptr<Channel>(channel);
        const win32::ThreadHandle thread(channel->ready() ? CreateThread(nullptr, 0, sendingThread, parameter, 0, nullptr)
                                                          : nullptr);
        if (!thread) {
            delete parameter;
            // No thread to spare: send here, without a limit of our own.
            outcome.sent = HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0) != FALSE;
            outcome.errorCode = outcome.sent ? ERROR_SUCCESS : GetLastError();
            return outcome;
        }
        channel_ = std::move(channel);
    }
    const std::shared_ptr<Channel> channel = channel_;
    AcquireSRWLockExclusive(&channel->lock);
    channel->request = request.get();
    ReleaseSRWLockExclusive(&channel->lock);
    SetEvent(channel->work.get());

    if (WaitForSingleObject(channel->done.get(), limitMs) != WAIT_OBJECT_0) {
        AcquireSRWLockExclusive(&channel->lock);
        outcome.overran = channel->request != nullptr;
        channel->abandoned = outcome.overran;
        ReleaseSRWLockExclusive(&channel->lock);
        if (outcome.overran) {
            channel_.reset();
            request.release();
            return outcome;
        }
        // The call ended just as the wait ran out: its answer is there.
        WaitForSingleObject(channel->done.get(), INFINITE);
    }
    outcome.sent = channel->sent;
    outcome.errorCode = channel->errorCode;
    return outcome;
}

}  // namespace updater::net
