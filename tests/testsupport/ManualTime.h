#pragma once

#include <memory>

#include "chronelle/platform/Clock.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/TimerScheduler.h"

namespace chronelle::testing {

// Installs a manual clock and a manual timer scheduler driving it for the lifetime of the
// object, and restores the system clock and the default scheduler afterwards. Time moves
// only through `advance` (which fires due timers) or `set`. One at a time per process.
class ManualTime {
 public:
  explicit ManualTime(Date start = Date::fromSecondsSince1970(1'767'225'600))  // 2026-01-01Z
      : clock_(std::make_shared<ManualClock>(start)), scheduler_(std::make_shared<ManualTimerScheduler>(clock_)) {
    Clock::install(clock_);
    TimerScheduler::install(scheduler_);
  }
  ~ManualTime() {
    TimerScheduler::reset();
    Clock::reset();
  }
  ManualTime(const ManualTime&) = delete;
  ManualTime& operator=(const ManualTime&) = delete;

  Date now() const { return clock_->now(); }
  // Moves the clock forward, firing every timer that falls due on the way, in order.
  void advance(double seconds) { scheduler_->advance(seconds); }
  // Moves the clock without firing timers or telling anyone (to place a test in time).
  void set(Date date) { clock_->set(date); }
  // A wall-clock jump as the system reports it (clock set, resume from sleep): timers keep
  // their remaining time and the scheduler's jump observers are called.
  void jump(Date date) { scheduler_->jumpWallClock(date); }

  ManualTimerScheduler& scheduler() { return *scheduler_; }

 private:
  std::shared_ptr<ManualClock> clock_;
  std::shared_ptr<ManualTimerScheduler> scheduler_;
};

}  // namespace chronelle::testing
