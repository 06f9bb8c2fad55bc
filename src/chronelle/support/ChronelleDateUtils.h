#pragma once

#include <string>

#include "chronelle/platform/Date.h"
#include "chronelle/support/DurationFormat.h"

namespace chronelle {

/// The one place where durations between instants are measured, so that the timer, stored
/// totals, the session list and the reports agree to the second. Static functions only;
/// thread-safe; none throws.
class ChronelleDateUtils {
 public:
  ChronelleDateUtils() = delete;

  /// The seconds from `from` to `to`, counting whole seconds only: both instants are floored to
  /// whole seconds first, so the result is an integer (negative when `to` is earlier), and the
  /// same two instants give the same value everywhere. One exception to the flooring: an
  /// instant in the last microsecond of a second counts as the next second, because that is
  /// where the end of a day, week, month or year lies, and the part of an entry up to the end
  /// of a day must be as long as the part up to the next midnight (23:00 to the end of the day
  /// is one hour). Every duration of the library goes through this function.
  static double effectiveDuration(Date from, Date to);

  /// `date` with its fraction of a second removed, rounding toward the past (so an instant
  /// before 1970 also moves back). Idempotent; never later than `date`.
  static Date flooredToSeconds(Date date);

  /// `seconds` as text in `format`, e.g. 3725 as "1:02:05" or "1h 02m". The fraction of a
  /// second is dropped; a value that is not finite renders as "--".
  static std::string toString(double seconds, DurationFormat format);
};

}  // namespace chronelle
