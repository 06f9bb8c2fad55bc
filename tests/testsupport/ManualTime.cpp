#include "testsupport/ManualTime.h"

namespace chronelle::testing {

ManualTime::ManualTime(Date start)
    : clock_(std::make_shared<ManualClock>(start)),
      scheduler_(std::make_shared<ManualTimerScheduler>(clock_)) {
  Clock::install(clock_);
  TimerScheduler::install(scheduler_);
}

ManualTime::~ManualTime() {
  TimerScheduler::reset();
  Clock::reset();
}

}  // namespace chronelle::testing
