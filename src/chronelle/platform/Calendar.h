#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "chronelle/platform/Date.h"

namespace chronelle {

enum class CalendarUnit { year, month, weekOfYear, day, hour, minute, second };

/// Broken-down local time. Unset fields are absent. `weekday`: 1 = Sunday … 7 = Saturday.
struct DateComponents {
  /// Local fields; `weekday` is 1 = Sunday … 7 = Saturday. Absent fields are not set.
  ///@{
  std::optional<int> year, month, day, hour, minute, second, weekday;
  ///@}
  /// Equal when every field is.
  friend bool operator==(const DateComponents&, const DateComponents&) = default;
};

/// A Gregorian calendar on ICU: a time zone, a first weekday and a locale. A value type
/// (copies share an immutable ICU prototype); every operation is const and thread-safe.
/// Local times that do not exist (a DST gap) resolve forward to the first instant after
/// the gap; local times that occur twice resolve to the first occurrence.
class Calendar {
 public:
  /// `timeZone`: an Olson identifier ("Europe/Berlin", "UTC"). `firstWeekday`: 1 = Sunday …
  /// 7 = Saturday, or 0 for the locale's own. An unknown zone throws std::invalid_argument.
  explicit Calendar(std::string timeZone = "UTC", int firstWeekday = 0,
                    std::string locale = "en_US_POSIX");

  /// The process calendar: TZ (else the system zone; UTC when neither names a zone ICU
  /// knows) and the process locale (from LANG / LC_ALL as ICU reads them).
  static Calendar current();
  /// True when ICU knows `timeZone` as a zone identifier (what the constructor accepts),
  /// without building a calendar and its locale data.
  static bool knowsTimeZone(const std::string& timeZone);

  /// The Olson identifier of the time zone, e.g. "Europe/Berlin".
  const std::string& timeZoneIdentifier() const;
  /// 1 = Sunday … 7 = Saturday (the locale's when 0 was given).
  int firstWeekday() const;
  /// The ICU locale identifier, e.g. "en_US_POSIX".
  const std::string& localeIdentifier() const;

  /// This calendar in another zone; throws std::invalid_argument for an unknown zone.
  Calendar withTimeZone(std::string timeZone) const;
  /// This calendar with weeks starting on `firstWeekday` (1 = Sunday … 7 = Saturday).
  Calendar withFirstWeekday(int firstWeekday) const;

  /// Local fields of `date` in this calendar's zone.
  DateComponents components(Date date) const;
  /// The instant of the given local fields (absent fields take their smallest value:
  /// month 1, day 1, 00:00:00). Out-of-range fields roll over; absent when ICU fails.
  std::optional<Date> date(const DateComponents& components) const;

  /// The first instant of the local day that holds `date`.
  Date startOfDay(Date date) const;
  /// `date` moved by `value` units of local time (days keep the wall-clock time).
  Date adding(CalendarUnit unit, int value, Date date) const;
  /// True when both instants fall on the same local day.
  bool isSameDay(Date a, Date b) const;
  /// Offset of local time from UTC at `date`, in seconds.
  int secondsFromGMT(Date date) const;

  /// Formats `date` with an ICU pattern ("yyyy-MM-dd", "HH:mm") in this calendar's zone and
  /// locale.
  std::string format(Date date, std::string_view pattern) const;

  /// Equal when zone, first weekday and locale are.
  friend bool operator==(const Calendar& a, const Calendar& b);

 private:
  struct Impl;
  std::shared_ptr<const Impl> impl_;
};

}  // namespace chronelle
