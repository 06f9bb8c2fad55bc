#pragma once

#include <atomic>
#include <memory>

#include "chronelle/platform/Date.h"

namespace chronelle {

// A source of the current instant. Implementations are thread-safe.
class ClockSource {
 public:
  virtual ~ClockSource() = default;
  virtual Date now() const = 0;
};

// The wall clock of the machine.
class SystemClockSource final : public ClockSource {
 public:
  Date now() const override;
};

// A clock that reports the instant it was set to, for tests and for `chronelle --now`.
// Thread-safe.
class ManualClock final : public ClockSource {
 public:
  explicit ManualClock(Date start = Date()) : micros_(start.microsecondsSince1970()) {}
  Date now() const override { return Date::fromMicroseconds(micros_.load()); }
  void set(Date date) { micros_.store(date.microsecondsSince1970()); }
  void advance(double seconds) { set(now().addingTimeInterval(seconds)); }

 private:
  std::atomic<std::int64_t> micros_;
};

// The only way library code reads "now". The installed source is process-wide; tests
// install a ManualClock and restore the system clock with `reset()`. Thread-safe.
class Clock {
 public:
  static Date now();
  static void install(std::shared_ptr<ClockSource> source);
  static void reset();
  static std::shared_ptr<ClockSource> source();
};

}  // namespace chronelle
