#pragma once
// What Cancel does to a whole release, decided in one place that both
// threads pass: until the commit starts, Cancel stops the run; once it has
// started, Cancel waits for its end. One atomic state, so that a Cancel and
// the start of the commit can never both win.
#include <atomic>

namespace updater {

class CommitGate {
public:
    enum class CancelEffect {
        RunGoesOn,       // no whole release is downloading: a run file by file goes on, as always
        RunStops,        // the whole release stops before its commit; nothing changes
        WaitsForCommit,  // the commit has started and ends first
    };

    // The window's thread, on Cancel.
    CancelEffect cancel() {
        State state = state_.load();
        for (;;) {
            switch (state) {
            case State::Idle:
                if (state_.compare_exchange_weak(state, State::IdleCancelled)) return CancelEffect::RunGoesOn;
                break;
            case State::Downloading:
                if (state_.compare_exchange_weak(state, State::Stopped)) return CancelEffect::RunStops;
                break;
            case State::IdleCancelled: return CancelEffect::RunGoesOn;
            case State::Stopped: return CancelEffect::RunStops;
            case State::Committing: return CancelEffect::WaitsForCommit;
            }
        }
    }

    // The run, before its first download: false when the wizard was
    // cancelled already.
    bool beginDownloads() { return enter(State::Idle, State::Downloading); }
    // The run, before its commit: false when Cancel came first.
    bool beginCommit() { return enter(State::Downloading, State::Committing); }
    // Ready for the next run.
    void reset() { state_.store(State::Idle); }

private:
    enum class State { Idle, IdleCancelled, Downloading, Stopped, Committing };

    bool enter(State from, State to) { return state_.compare_exchange_strong(from, to); }

    std::atomic<State> state_{State::Idle};
};

}  // namespace updater
