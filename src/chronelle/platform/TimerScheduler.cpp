#include "chronelle/platform/TimerScheduler.h"

#include <mutex>

#include "chronelle/platform/MainQueue.h"

namespace chronelle {

namespace {

struct SchedulerSlot {
  // Guards `scheduler`.
  std::mutex mutex;
  std::shared_ptr<TimerScheduler> scheduler;
};

SchedulerSlot& slot() {
  static auto* s = new SchedulerSlot;  // leaked: timers may be scheduled during shutdown
  return *s;
}

// The watch of a scheduler that cannot hear wall-clock jumps: never valid, nothing to cancel.
class NoJumpWatch final : public ScheduledTimer {
 public:
  void cancel() override {}
  bool isValid() const override { return false; }
};

}  // namespace

std::shared_ptr<ScheduledTimer> TimerScheduler::observeWallClockJumps(std::function<void()>) {
  return std::make_shared<NoJumpWatch>();
}

TimerScheduler& TimerScheduler::current() { return *currentShared(); }

std::shared_ptr<TimerScheduler> TimerScheduler::currentShared() {
  std::lock_guard lock(slot().mutex);
  if (!slot().scheduler) {
    slot().scheduler = std::make_shared<AsioTimerScheduler>(MainQueue::shared());
  }
  return slot().scheduler;
}

void TimerScheduler::install(std::shared_ptr<TimerScheduler> scheduler) {
  std::lock_guard lock(slot().mutex);
  slot().scheduler = std::move(scheduler);
}

void TimerScheduler::reset() { install(nullptr); }

}  // namespace chronelle
