#pragma once

#include <algorithm>
#include <cstdint>

namespace spurfix {

// How far the build of a list has come, and whether its user wants it stopped. A list
// of a million lines takes seconds to build: the window builds it on another thread and
// shows this.
class BuildProgress {
  public:
    virtual ~BuildProgress() = default;
    // `done` of `total` steps of the whole build; from the building thread only.
    virtual void report(uint64_t done, uint64_t total) = 0;
    // Whether the build is to end now. The sort asks from two threads at once.
    [[nodiscard]] virtual bool stopRequested() const = 0;
};

// Thrown out of a build that was asked to stop: nothing of the list is kept.
struct BuildStopped {};

// A build's phases, each a share of the whole, counted step by step: every few
// thousand steps it reports and asks whether to stop (some 1 ms of work on a million
// lines), so that a stop ends the build well within 100 ms.
class BuildSteps {
  public:
    // `total` is what the whole build reports as its end; `progress` may be null.
    BuildSteps(BuildProgress* progress, uint64_t total) : progress_(progress), total_(total) {}

    // The next phase: `steps` steps that take the reported count from `from` to `to`.
    void phase(uint64_t from, uint64_t to, uint64_t steps) {
        from_ = from;
        to_ = to;
        steps_ = steps;
        count_ = 0;
        check();
    }
    // One step of the phase.
    void step() {
        if ((++count_ & kEvery) == 0 && progress_ != nullptr) {
            check();
        }
    }
    // `count` steps at once.
    void advance(uint64_t count) {
        const uint64_t before = count_;
        count_ += count;
        if ((before | kEvery) != (count_ | kEvery) && progress_ != nullptr) {
            check();
        }
    }
    // Reports where the phase stands; throws BuildStopped when the build is to end.
    void check() const {
        if (progress_ == nullptr) {
            return;
        }
        const uint64_t within = steps_ == 0 ? 0 : (to_ - from_) * std::min(count_, steps_) / steps_;
        progress_->report(from_ + within, total_);
        if (progress_->stopRequested()) {
            throw BuildStopped{};
        }
    }
    // Whether the build is to end, without reporting: for a second thread.
    [[nodiscard]] bool stopRequested() const {
        return progress_ != nullptr && progress_->stopRequested();
    }
    [[nodiscard]] BuildProgress* progress() const { return progress_; }

    static constexpr uint64_t kEvery = 1023;

  private:
    BuildProgress* progress_;
    uint64_t total_;
    uint64_t from_ = 0;
    uint64_t to_ = 0;
    uint64_t steps_ = 0;
    uint64_t count_ = 0;
};

}  // namespace spurfix
