#pragma once
// Carries out the worker's queued view calls on the window's thread, at the
// screen's pace. What only shows (status, progress) is coalesced to its last
// value per frame; list lines are appended in order with the list's painting
// held for that frame only; a box is shown after what came before it.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/work/clock.h"
#include "engine/run/view_queue.h"
#include "engine/report/wizard_view.h"

namespace updater {

// What the window's thread does besides carrying out the queued calls.
class RunScreen {
public:
    virtual ~RunScreen() = default;
    // The window's own view, used on its thread only.
    virtual WizardView& windowView() = 0;
    // Holds or releases the list's painting; a release repaints the list.
    virtual void holdListPaint(bool hold) = 0;
};

class FramePlayer {
public:
    // About two frames of a 60 Hz screen: fast enough to see every state a
    // person can follow, slow enough that painting stays a small part of a run.
    static constexpr std::uint64_t kFrameMs = 30;

    FramePlayer(RunScreen& screen, ViewQueue& queue, Clock& clock)
        : screen_(screen), view_(screen.windowView()), queue_(queue), clock_(clock) {}

    std::uint64_t msUntilFrame();
    // Carries out everything queued, answering any question on the way, and
    // paints the frame.
    void playFrame();

private:
    void play(ViewCall& call);
    void holdList();
    void paint();

    RunScreen& screen_;
    WizardView& view_;
    ViewQueue& queue_;
    Clock& clock_;
    std::optional<std::string> status_;
    std::optional<int> progress_;
    bool listHeld_ = false;
    std::optional<std::uint64_t> lastFrameMs_;
};

}  // namespace updater
