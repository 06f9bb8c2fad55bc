#pragma once

#include <string>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Date.h"

namespace chronelle {

/// The bounds of the day, week, month or year around an instant.
enum class DateForType {
  startOfDay,
  endOfDay,
  startOfWeek,
  endOfWeek,
  startOfMonth,
  endOfMonth,
  startOfYear,
  endOfYear,
};

/// Whether two instants share a calendar period.
enum class DateComparisonType { isSameDay, isSameWeek, isSameMonth, isSameYear };

/// Named text forms of an instant, as ICU patterns.
enum class DateFormatType {
  isoDate,       ///< "yyyy-MM-dd", e.g. "2018-11-04"
  isoYearMonth,  ///< "yyyy-MM"
  isoDateTime,   ///< "yyyy-MM-dd'T'HH:mm:ssXXX", e.g. "2018-11-04T01:00:00-02:00"
  time,          ///< "HH:mm"
};

/// Which zone a formatted text is in: the process's local zone or UTC.
enum class DateTimeZoneChoice { local, utc };

/// Calendar arithmetic for report periods, chart columns and the day sections of the session
/// list. Every bound is computed in the calendar passed: its time zone and, for weeks, its
/// first weekday. A start is the first instant of its period (where midnight does not exist
/// because the clocks jump forward, the first instant after the jump); an end is the period's
/// last representable instant, one microsecond before the next period's start (23:59:59.999999
/// on ordinary days), so every instant of a period lies between its start and its end, and a
/// duration measured up to an end equals the one up to the next start (see
/// ChronelleDateUtils::effectiveDuration). Static functions only; thread-safe; none throws.
class DateHelper {
 public:
  DateHelper() = delete;

  /// The bound of `type` of the period that holds `date`: start ≤ date ≤ end. Far outside the calendar's range, where no bound can be computed, returns `date`.
  static Date dateFor(DateForType type, Date date, const Calendar& calendar);

  /// Whether `a` and `b` fall in the same period of `type` in `calendar`.
  static bool compare(DateComparisonType type, Date a, Date b, const Calendar& calendar);
  /// Shorthand for `compare(DateComparisonType::isSameDay, …)`.
  static bool isSameDay(Date a, Date b, const Calendar& calendar) {
    return compare(DateComparisonType::isSameDay, a, b, calendar);
  }

  /// `date` in `format`, in the time zone and with the locale of `calendar`.
  static std::string toString(DateFormatType format, Date date, const Calendar& calendar);
  /// `date` in `format`, in the chosen zone (local is the zone of `Calendar::current()`) and with
  /// `locale` (an ICU identifier; empty for the process's locale).
  static std::string toString(DateFormatType format, Date date,
                              DateTimeZoneChoice timeZone = DateTimeZoneChoice::local,
                              const std::string& locale = "");

  /// The ICU pattern of `format`.
  static const char* pattern(DateFormatType format);
};

}  // namespace chronelle
