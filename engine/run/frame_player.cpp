#include "engine/run/frame_player.h"

#include <utility>

namespace updater {

std::uint64_t FramePlayer::msUntilFrame() {
    if (!lastFrameMs_) return 0;
    const std::uint64_t since = clock_.nowMs() - *lastFrameMs_;
    return since >= kFrameMs ? 0 : kFrameMs - since;
}

void FramePlayer::playFrame() {
    for (ViewCall& call : queue_.take()) play(call);
    paint();
}

void FramePlayer::play(ViewCall& call) {
    switch (call.kind) {
    case ViewCall::Kind::Status: status_ = std::move(call.text); break;
    case ViewCall::Kind::Progress: progress_ = call.value; break;
    case ViewCall::Kind::ListLine:
        holdList();
        view_.addListLine(call.text);
        break;
    case ViewCall::Kind::DeleteFirstLine:
        holdList();
        view_.deleteFirstListLine();
        break;
    case ViewCall::Kind::ClearList:
        holdList();
        view_.clearList();
        break;
    case ViewCall::Kind::Stage: view_.showStage(static_cast<ButtonStage>(call.value)); break;
    case ViewCall::Kind::Enable: view_.enableButton(call.value != 0); break;
    case ViewCall::Kind::WaitCursor: view_.showWaitCursor(call.value != 0); break;
    case ViewCall::Kind::ErrorBox:
        paint();
        view_.showErrorBox(call.text);
        queue_.answer(true);
        break;
    case ViewCall::Kind::Confirm:
        paint();
        queue_.answer(view_.confirm(call.text));
        break;
    }
}

// Each line added to a painting list repaints it (milliseconds under Wine),
// so a frame's lines go in unseen and the list is painted once after them.
// Held only for the frame: a list uncovered later must paint itself.
void FramePlayer::holdList() {
    if (listHeld_) return;
    screen_.holdListPaint(true);
    listHeld_ = true;
}

void FramePlayer::paint() {
    if (status_) view_.showStatus(*std::exchange(status_, std::nullopt));
    if (progress_) view_.setProgress(*std::exchange(progress_, std::nullopt));
    if (listHeld_) {
        screen_.holdListPaint(false);
        listHeld_ = false;
    }
    lastFrameMs_ = clock_.nowMs();
}

}  // namespace updater
