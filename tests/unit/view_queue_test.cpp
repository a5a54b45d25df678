// The worker's view queue and the window's frame player: order, coalescing,
// the list's painting, questions across threads, a left window and a failed
// allocation.
#include "engine/run/frame_player.h"
#include "engine/run/view_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <memory_resource>
#include <new>
#include <thread>

#include "tests/unit/fakes.h"

namespace updater {
namespace {

using fakes::FakeClock;
using fakes::FakeView;
using Log = std::vector<std::string>;

// The window: its view, and when the list's painting is held and released.
class FakeScreen : public RunScreen {
public:
    FakeView view;
    bool held = false;

    WizardView& windowView() override { return view; }
    void holdListPaint(bool hold) override {
        view.log.push_back(hold ? "hold" : "release");
        held = hold;
    }
};

class ViewQueueTest : public ::testing::Test {
protected:
    FakeScreen screen;
    ViewQueue queue;
    QueuedView worker{queue};
    FakeClock clock;
    FramePlayer player{screen, queue, clock};

    Log frame() {
        screen.view.log.clear();
        player.playFrame();
        return screen.view.log;
    }
};

TEST_F(ViewQueueTest, KeepsTheOrderAndShowsOnlyTheLastStatusAndProgressOfAFrame) {
    worker.showStage(ButtonStage::Update);
    worker.enableButton(false);
    worker.showStatus("one");
    worker.setProgress(10);
    worker.addListLine("a.dll");
    worker.showStatus("two");
    worker.setProgress(20);
    worker.setProgress(20);
    worker.deleteFirstListLine();
    worker.clearList();
    worker.showWaitCursor(true);
    EXPECT_EQ(frame(), (Log{"caption:更新(&U)", "disable", "hold", "list:a.dll", "deleteFirst", "clearList", "wait:on",
                            "status:two", "progress:20", "release"}));
    EXPECT_EQ(frame(), Log{}) << "nothing queued, nothing shown";
    worker.setProgress(20);
    worker.setProgress(21);
    EXPECT_EQ(frame(), Log{"progress:21"}) << "an unchanged position is not queued again";
}

TEST_F(ViewQueueTest, HoldsTheListOnlyWhileOneFramesLinesGoIn) {
    worker.addListLine("a");
    worker.addListLine("b");
    EXPECT_EQ(frame(), (Log{"hold", "list:a", "list:b", "release"}));
    EXPECT_FALSE(screen.held) << "a list uncovered between frames must paint itself";
    worker.showStatus("downloading");
    EXPECT_EQ(frame(), Log{"status:downloading"});
    worker.addListLine("c");
    EXPECT_EQ(frame(), (Log{"hold", "list:c", "release"}));
    EXPECT_FALSE(screen.held);
}

TEST_F(ViewQueueTest, FramesFollowTheClock) {
    EXPECT_EQ(player.msUntilFrame(), 0u);
    player.playFrame();
    EXPECT_EQ(player.msUntilFrame(), FramePlayer::kFrameMs);
    clock.now += 10;
    EXPECT_EQ(player.msUntilFrame(), FramePlayer::kFrameMs - 10);
    clock.now += FramePlayer::kFrameMs;
    EXPECT_EQ(player.msUntilFrame(), 0u);
}

// The worker waits for each answer on its own thread; what it showed before
// a box is on the screen when the box comes up.
TEST_F(ViewQueueTest, QuestionsAreAnsweredOnTheWindowsThread) {
    screen.view.confirmAnswer = false;
    worker.addListLine("kelmor 1.3");
    worker.showStatus("asking");
    std::atomic<bool> done{false};
    bool confirmed = true;
    std::thread thread([&] {
        confirmed = worker.confirm("end kelmor?");
        worker.showErrorBox("cannot write");
        worker.showStatus("after");
        done = true;
    });
    while (!done) {
        player.playFrame();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread.join();
    player.playFrame();
    EXPECT_FALSE(confirmed) << "the window's answer reaches the worker";
    EXPECT_EQ(screen.view.log, (Log{"hold", "list:kelmor 1.3", "status:asking", "release", "confirm:end kelmor?",
                                    "error:cannot write", "status:after"}));
}

TEST_F(ViewQueueTest, AWindowThatLeftAnswersNoAndShowsNothing) {
    std::promise<bool> answer;
    std::thread thread([&] { answer.set_value(worker.confirm("end kelmor?")); });
    ViewQueue::Calls asked;
    while (asked.empty()) {  // the question, never answered
        asked = queue.take();
        std::this_thread::yield();
    }
    queue.leave();
    EXPECT_FALSE(answer.get_future().get()) << "a waiting question is released";
    thread.join();

    worker.showStatus("later");
    EXPECT_FALSE(worker.confirm("again?")) << "later questions are answered at once";
    worker.showErrorBox("late failure");
    player.playFrame();
    EXPECT_TRUE(screen.view.log.empty());
}

// Nodes come from here; the next allocation fails when asked to.
class FailingMemory : public std::pmr::memory_resource {
public:
    std::atomic<bool> failNext{false};

private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (failNext.exchange(false)) throw std::bad_alloc();
        return std::pmr::new_delete_resource()->allocate(bytes, alignment);
    }
    void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
        std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
};

// Shared with a window thread that, if the lock were left held, would block
// for good and be left behind.
struct SharedQueue {
    FailingMemory memory;
    ViewQueue queue{&memory};
};

std::optional<std::size_t> takeOnAnotherThread(const std::shared_ptr<SharedQueue>& shared) {
    auto taken = std::make_shared<std::promise<std::size_t>>();
    std::future<std::size_t> result = taken->get_future();
    std::thread window([shared, taken] { taken->set_value(shared->queue.take().size()); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        window.detach();
        return std::nullopt;
    }
    window.join();
    return result.get();
}

TEST(ViewQueueAllocation, AFailedPushLeavesNoLockHeld) {
    const auto shared = std::make_shared<SharedQueue>();
    QueuedView worker(shared->queue);
    worker.showStatus("before");
    shared->memory.failNext = true;
    EXPECT_THROW(worker.addListLine("lost"), std::bad_alloc);
    EXPECT_EQ(takeOnAnotherThread(shared), std::optional<std::size_t>(1)) << "the window's thread can still take";

    shared->memory.failNext = true;
    EXPECT_THROW(worker.confirm("end kelmor?"), std::bad_alloc) << "a question that cannot be queued fails at once";
    worker.addListLine("after");
    EXPECT_EQ(takeOnAnotherThread(shared), std::optional<std::size_t>(1));
}

}  // namespace
}  // namespace updater
