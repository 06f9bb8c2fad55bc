#include "chronelle/platform/Clock.h"

#include <mutex>

namespace chronelle {

namespace {

struct ClockSlot {
  // Guards `source`; the source itself is thread-safe, so it is called outside the lock.
  std::mutex mutex;
  std::shared_ptr<ClockSource> source = std::make_shared<SystemClockSource>();
};

ClockSlot& slot() {
  // Leaked on purpose: loggers and timers may read the clock during static destruction.
  static auto* s = new ClockSlot;
  return *s;
}

}  // namespace

Date SystemClockSource::now() const {
  return Date(std::chrono::time_point_cast<Date::Micros>(std::chrono::system_clock::now()));
}

Date Clock::now() { return source()->now(); }

void Clock::install(std::shared_ptr<ClockSource> source) {
  if (!source) source = std::make_shared<SystemClockSource>();
  std::lock_guard lock(slot().mutex);
  slot().source = std::move(source);
}

void Clock::reset() { install(nullptr); }

std::shared_ptr<ClockSource> Clock::source() {
  std::lock_guard lock(slot().mutex);
  return slot().source;
}

}  // namespace chronelle
