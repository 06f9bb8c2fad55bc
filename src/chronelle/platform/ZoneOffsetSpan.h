#pragma once

#include <cstdint>
#include <optional>

#include "chronelle/platform/Calendar.h"

namespace chronelle {

/// A stretch of time, [from, to) in microseconds since 1970 UTC, over which a time zone keeps
/// one offset from UTC: the time between two of its transitions. Inside it, local fields are
/// plain arithmetic on the instant. A value type; thread-safe as any value.
struct ZoneOffsetSpan {
  /// First instant of the stretch; the lowest value when the zone has no earlier transition.
  std::int64_t from = 0;
  /// First instant after the stretch (the next transition); the highest value when none.
  std::int64_t to = 0;
  /// Local time less UTC, in whole seconds.
  std::int32_t offsetSeconds = 0;

  /// True when `micros` lies in the stretch (an empty, default span contains nothing).
  bool contains(std::int64_t micros) const { return from <= micros && micros < to; }

  /// Local year, month, day, hour, minute, second and weekday (1 = Sunday) of `micros` at this
  /// offset, on the Gregorian calendar; nothing for a local day before 15 October 1582 (where a
  /// Gregorian calendar counts Julian days) or after the year 999,999, which callers leave to
  /// the full calendar. `micros` need not lie in the stretch.
  std::optional<DateComponents> localComponents(std::int64_t micros) const;
};

}  // namespace chronelle
