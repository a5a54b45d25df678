// The bounded send with an injected send function, and the session's gate
// that left calls pass: a normal send, a failure with its text, an overrun,
// the stop flag, a second caller, and a close that waits for calls inside.
#include "engine/work/bounded_send.h"
#include "engine/work/call_gate.h"
#include "engine/work/leavable_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace updater {
namespace {

using End = BoundedSend::End;
using std::chrono::steady_clock;

// A send that blocks until the test lets it go.
class Latch {
public:
    // Notifies under the lock: a waiter may destroy the latch once it returns.
    void open() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    // False when it stayed shut for 10 s.
    bool wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        return opened_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// Like the HTTP client: the server's last answer is kept per thread.
thread_local std::string lastResponse;

SendResult failingSend() {
    lastResponse = "550 quota exceeded";
    return SendResult{false, 12003, lastResponse};
}

class BoundedSendTest : public ::testing::Test {
protected:
    std::atomic<int> threadsStarted{0};
    BoundedSend sender{[this] { ++threadsStarted; }};
    StopFlag stop;
};

TEST_F(BoundedSendTest, ASendThatReturnsGivesItsResultFromItsOwnThread) {
    std::thread::id sentOn;
    const BoundedSend::Outcome sent = sender.send({[&] {
                                                       sentOn = std::this_thread::get_id();
                                                       return SendResult{true, 0, {}};
                                                   }},
                                                  60000, stop);
    EXPECT_EQ(sent.end, End::Returned);
    EXPECT_TRUE(sent.result.sent);
    EXPECT_NE(sentOn, std::this_thread::get_id());

    const BoundedSend::Outcome failed = sender.send({failingSend}, 60000, stop);
    EXPECT_EQ(failed.end, End::Returned);
    EXPECT_FALSE(failed.result.sent);
    EXPECT_EQ(failed.result.errorCode, 12003u);
    EXPECT_EQ(failed.result.lastResponse, "550 quota exceeded") << "read where the call was made";
    EXPECT_EQ(lastResponse, "") << "this thread never saw the server's answer";
    EXPECT_EQ(threadsStarted, 1) << "one sending thread serves every send";
}

TEST_F(BoundedSendTest, AnOverrunLeavesTheCallToItsThreadWhichCleansUp) {
    // The flag is the process's: another test may have raised it already.
    const bool heldBefore = LeavableThread::anyHeldUntilExit();
    Latch blocked;
    Latch cleaned;
    std::thread::id cleanedOn;
    BoundedSend::Call call{[&] {
                               blocked.wait();
                               return SendResult{true, 0, {}};
                           },
                           [&] {
                               cleanedOn = std::this_thread::get_id();
                               cleaned.open();
                           }};
    EXPECT_EQ(sender.send(std::move(call), 20, stop).end, End::Overran);
    blocked.open();
    ASSERT_TRUE(cleaned.wait()) << "the left call's thread closes what it used";
    EXPECT_NE(cleanedOn, std::this_thread::get_id());

    EXPECT_EQ(sender.send({[] { return SendResult{true, 0, {}}; }}, 60000, stop).end, End::Returned);
    EXPECT_EQ(threadsStarted, 2) << "the next send gets a thread of its own";
    if (!heldBefore) EXPECT_FALSE(LeavableThread::anyHeldUntilExit()) << "a left send cleans up alone";
}

// Joined within its bound, or left; only a thread that still borrows what the
// program destroys holds the process until exit.
TEST(LeavableThread, JoinsWithinItsBoundOrIsLeftUnderItsPolicy) {
    LeavableThread quick(LeavableThread::WhenLeft::CleansUpAlone);
    ASSERT_TRUE(quick.start([] {}));
    EXPECT_TRUE(quick.joinWithin(60000));
    EXPECT_FALSE(quick.running());

    auto blocked = std::make_shared<Latch>();
    LeavableThread stuck(LeavableThread::WhenLeft::HoldsUntilExit);
    ASSERT_TRUE(stuck.start([blocked] { blocked->wait(); }));
    EXPECT_FALSE(stuck.joinWithin(20));
    stuck.leave();
    EXPECT_FALSE(stuck.running());
    EXPECT_TRUE(LeavableThread::anyHeldUntilExit());
    blocked->open();
}

TEST_F(BoundedSendTest, TheStopFlagEndsTheWaitLongBeforeTheLimit) {
    Latch blocked;
    Latch cleaned;
    const steady_clock::time_point start = steady_clock::now();
    const BoundedSend::Outcome outcome = sender.send({[&] {
                                                          stop.request();
                                                          blocked.wait();
                                                          return SendResult{true, 0, {}};
                                                      },
                                                      [&] { cleaned.open(); }},
                                                     600000, stop);
    EXPECT_EQ(outcome.end, End::Stopped);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(5)) << "one poll of the flag is 50 ms";
    blocked.open();
    EXPECT_TRUE(cleaned.wait()) << "a stopped call is left like an overrun one";
}

TEST_F(BoundedSendTest, ASecondCallerIsRefusedWhileASendIsUnderWay) {
    Latch blocked;
    std::promise<void> entered;
    auto first = std::async(std::launch::async, [&] {
        return sender.send({[&] {
                               entered.set_value();
                               blocked.wait();
                               return SendResult{true, 0, {}};
                           }},
                           60000, stop);
    });
    entered.get_future().wait();
    bool secondRan = false;
    EXPECT_EQ(sender.send({[&] {
                              secondRan = true;
                              return SendResult{true, 0, {}};
                          }},
                          60000, stop)
                  .end,
              End::Refused);
    EXPECT_FALSE(secondRan);
    blocked.open();
    EXPECT_EQ(first.get().end, End::Returned);
}

TEST(CallGate, CloseWaitsForTheCallsInsideAndLetsNoneIn) {
    CallGate gate;
    std::optional<CallGate::Pass> inside(gate.enter());
    ASSERT_TRUE(*inside);
    EXPECT_FALSE(gate.close(20)) << "a call still inside: the handles are left, not closed";
    EXPECT_FALSE(gate.enter()) << "no call starts on a closing session";
    inside.reset();
    EXPECT_TRUE(gate.close(0));

    CallGate other;
    Latch done;
    std::thread left([&, pass = other.enter()] { done.wait(); });
    auto closed = std::async(std::launch::async, [&] { return other.close(60000); });
    done.open();
    EXPECT_TRUE(closed.get()) << "a call that returns within the bound is waited for";
    left.join();
}

}  // namespace
}  // namespace updater
