#include "chronelle/list/CalendarDays.h"

#include <iterator>
#include <optional>

#include "chronelle/support/DateHelper.h"

namespace chronelle {

namespace {

// The day holding `date` among `days`, or null.
const CalendarDays::Day* find(const std::map<Date, CalendarDays::Day>& days, Date date) {
  auto after = days.upper_bound(date);
  if (after == days.begin()) return nullptr;
  const auto& candidate = std::prev(after)->second;
  return CalendarDays::holds(candidate, date) ? &candidate : nullptr;
}

// The days worked out on this thread for the last pair of calendars, kept beyond one list:
// a list opened again (another month, the same month after a change) mostly needs days
// already worked out, each of which costs ICU a formatter call and field arithmetic. A
// day depends on nothing but the two calendars and the date, so a change of either
// calendar (the process's zone or locale) starts the memo afresh.
struct DayMemo {
  Calendar calendar;
  Calendar local;
  std::map<Date, CalendarDays::Day> days;
};

// Enough for years of lists; beyond it the memo starts again rather than grow.
constexpr std::size_t kMostRememberedDays = 4096;

DayMemo& memoFor(const Calendar& calendar, const Calendar& local) {
  thread_local std::optional<DayMemo> memo;
  if (!memo || !(memo->calendar == calendar) || !(memo->local == local) ||
      memo->days.size() >= kMostRememberedDays) {
    memo.emplace(DayMemo{calendar, local, {}});
  }
  return *memo;
}

}  // namespace

CalendarDays::CalendarDays(Calendar calendar) : calendar_(std::move(calendar)), local_(Calendar::current()) {}

const CalendarDays::Day& CalendarDays::dayOf(Date date) {
  if (last_ != nullptr && holds(*last_, date)) return *last_;
  if (const Day* day = find(days_, date)) return *(last_ = day);
  DayMemo& memo = memoFor(calendar_, local_);
  if (const Day* day = find(memo.days, date)) return *(last_ = &days_.emplace(day->start, *day).first->second);
  Day day{DateHelper::dateFor(DateForType::startOfDay, date, calendar_),
          DateHelper::dateFor(DateForType::endOfDay, date, calendar_), {}};
  // The same text DateHelper gives for the local zone, through one calendar whose formatter
  // is kept instead of a calendar and formatter built per call.
  day.name = DateHelper::toString(DateFormatType::isoDate, day.start, local_);
  // A calendar that cannot place the date (far outside ICU's range) gives the date itself
  // for both bounds; such a day is not looked up again, so it never stands for its
  // neighbours.
  if (!holds(day, date) || day.start == day.end) return unplaced_.emplace_back(std::move(day));
  memo.days.emplace(day.start, day);
  return *(last_ = &days_.emplace(day.start, std::move(day)).first->second);
}

}  // namespace chronelle
