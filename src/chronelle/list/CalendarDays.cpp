#include "chronelle/list/CalendarDays.h"

#include <iterator>

#include "chronelle/support/DateHelper.h"

namespace chronelle {

CalendarDays::CalendarDays(Calendar calendar) : calendar_(std::move(calendar)), local_(Calendar::current()) {}

CalendarDays::Day CalendarDays::dayOf(Date date) {
  auto after = days_.upper_bound(date);
  if (after != days_.begin()) {
    const auto& candidate = std::prev(after)->second;
    if (holds(candidate, date)) return candidate;
  }
  Day day{DateHelper::dateFor(DateForType::startOfDay, date, calendar_),
          DateHelper::dateFor(DateForType::endOfDay, date, calendar_), {}};
  // The same text DateHelper gives for the local zone, through one calendar whose formatter
  // is kept instead of a calendar and formatter built per call.
  day.name = DateHelper::toString(DateFormatType::isoDate, day.start, local_);
  // A calendar that cannot place the date (far outside ICU's range) gives the date itself
  // for both bounds; such a day is not kept, so it never stands for its neighbours.
  if (!holds(day, date) || day.start == day.end) return day;
  return days_.emplace(day.start, std::move(day)).first->second;
}

}  // namespace chronelle
