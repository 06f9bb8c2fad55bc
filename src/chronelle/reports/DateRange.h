#pragma once

#include "chronelle/platform/Date.h"

namespace chronelle {

/// Two instants offered to the application for its own period bookkeeping; the library does
/// not use it. A value type.
struct DateRange {
  /// First instant.
  Date from;
  /// Last instant.
  Date to;

  /// The range from `from` to `to`.
  DateRange(Date from, Date to) : from(from), to(to) {}

  /// `to` minus `from` in seconds; negative when `to` lies before `from`.
  double timeInterval() const { return to.timeIntervalSince(from); }

  /// Equal when every field is.
  friend bool operator==(const DateRange&, const DateRange&) = default;
};

}  // namespace chronelle
