#pragma once

#include <atomic>
#include <memory>

#include "chronelle/platform/Date.h"

namespace chronelle {

/// A source of the current instant. Implementations are thread-safe.
class ClockSource {
 public:
  virtual ~ClockSource() = default;
  /// The current instant. Thread-safe.
  virtual Date now() const = 0;
};

/// The wall clock of the machine.
class SystemClockSource final : public ClockSource {
 public:
  Date now() const override;
};

/// A clock that reports the instant it was set to, for tests and for `chronelle --now`.
/// Thread-safe.
class ManualClock final : public ClockSource {
 public:
  /// A clock standing at `start` until it is set or advanced.
  explicit ManualClock(Date start = Date()) : micros_(start.microsecondsSince1970()) {}
  Date now() const override { return Date::fromMicroseconds(micros_.load()); }
  /// Moves the clock to `date` (backwards too).
  void set(Date date) { micros_.store(date.microsecondsSince1970()); }
  /// Moves the clock forward by `seconds`.
  void advance(double seconds) { set(now().addingTimeInterval(seconds)); }

 private:
  std::atomic<std::int64_t> micros_;
};

/// The only way library code reads "now". The installed source is process-wide; tests
/// install a ManualClock and restore the system clock with `reset()`. Thread-safe.
class Clock {
 public:
  /// The installed source's current instant.
  static Date now();
  /// Makes `source` the process-wide clock (null restores the system clock).
  static void install(std::shared_ptr<ClockSource> source);
  /// Restores the system clock.
  static void reset();
  /// The installed source. Never null.
  static std::shared_ptr<ClockSource> source();
};

}  // namespace chronelle
