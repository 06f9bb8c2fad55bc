#pragma once

#include <deque>
#include <map>
#include <string>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Date.h"

namespace chronelle {

/// The calendar days a session list touches, each worked out once: its first and last
/// instant in the list's calendar and its section name. Every entry of a list needs the
/// bounds of its day and of the days it runs into, and the same few days come up again and
/// again; each one costs ICU field arithmetic and a formatter call when worked out afresh.
/// Not thread-safe; used on the list's thread.
class CalendarDays {
 public:
  /// One day: `start` its first instant, `end` its last (the microsecond before the next
  /// day's start), `name` the start as "yyyy-MM-dd" in the local zone.
  struct Day {
    Date start;
    Date end;
    std::string name;
  };

  /// Bounds come from `calendar`; names use the process's local zone and locale as they are
  /// now (a list makes a new CalendarDays per batch, so a change of zone shows in the next).
  explicit CalendarDays(Calendar calendar);

  /// The day holding `date`. The reference stays valid as long as this object.
  const Day& dayOf(Date date);
  /// Whether `a` falls on `day`.
  static bool holds(const Day& day, Date a) { return day.start <= a && a <= day.end; }

 private:
  Calendar calendar_;
  Calendar local_;
  /// Days by their start; they never overlap, so the one holding a date is the last
  /// starting at or before it.
  std::map<Date, Day> days_;
  /// The day found last: entries come latest first, so most look-ups hit the day before.
  const Day* last_ = nullptr;
  /// Days a calendar could not place (see dayOf), kept so the references handed out stay valid.
  std::deque<Day> unplaced_;
};

}  // namespace chronelle
