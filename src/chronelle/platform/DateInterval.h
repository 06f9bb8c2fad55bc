#pragma once

#include <optional>

#include "chronelle/platform/Date.h"

namespace chronelle {

/// A closed interval [start, end] of absolute time. A value type.
class DateInterval {
 public:
  DateInterval() = default;
  /// `end` earlier than `start` is clamped to `start`, so an interval is never negative.
  DateInterval(Date start, Date end);
  /// From `start` for `seconds`.
  static DateInterval withDuration(Date start, double seconds);

  /// The first instant.
  Date start() const { return start_; }
  /// The last instant.
  Date end() const { return end_; }
  /// Seconds from start to end.
  double duration() const { return end_.timeIntervalSince(start_); }

  /// Inclusive at both ends.
  bool contains(Date date) const;
  /// True when the two closed intervals share at least one instant (touching counts).
  bool intersects(const DateInterval& other) const;
  /// The shared part, or nothing when they do not intersect.
  std::optional<DateInterval> intersection(const DateInterval& other) const;

  /// Equal when every field is.
  friend bool operator==(const DateInterval&, const DateInterval&) = default;

 private:
  Date start_;
  Date end_;
};

}  // namespace chronelle
