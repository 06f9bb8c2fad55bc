#include "chronelle/support/DateHelper.h"

#include <optional>
#include <stdexcept>

namespace chronelle {
namespace {

enum class Period { day, week, month, year };

// The first instant of the period of kind `period` that holds `date`, moved by `offset`
// periods (1: the next one). The target is named by its local calendar fields and left to the
// calendar to resolve, so 23- and 25-hour days come out right, and a midnight skipped by a
// DST jump resolves to the first instant after the jump. Absent when the calendar cannot
// compute it.
std::optional<Date> startOf(Period period, Date date, const Calendar& calendar, int offset) {
  const DateComponents local = calendar.components(date);
  if (!local.year || !local.month || !local.day) return std::nullopt;
  DateComponents target;
  target.year = *local.year;
  target.month = *local.month;
  target.day = *local.day;
  switch (period) {
    case Period::day:
      *target.day += offset;
      break;
    case Period::week: {
      int first = calendar.firstWeekday();
      if (first < 1 || first > 7) first = 1;
      if (!local.weekday) return std::nullopt;
      const int daysIntoWeek = (*local.weekday - first + 7) % 7;
      *target.day += 7 * offset - daysIntoWeek;
      break;
    }
    case Period::month:
      *target.month += offset;
      target.day = 1;
      break;
    case Period::year:
      *target.year += offset;
      target.month = 1;
      target.day = 1;
      break;
  }
  target.hour = 0;
  target.minute = 0;
  target.second = 0;
  return calendar.date(target);
}

Period periodOf(DateForType type) {
  switch (type) {
    case DateForType::startOfDay:
    case DateForType::endOfDay:
      return Period::day;
    case DateForType::startOfWeek:
    case DateForType::endOfWeek:
      return Period::week;
    case DateForType::startOfMonth:
    case DateForType::endOfMonth:
      return Period::month;
    case DateForType::startOfYear:
    case DateForType::endOfYear:
      break;
  }
  return Period::year;
}

bool isEnd(DateForType type) {
  return type == DateForType::endOfDay || type == DateForType::endOfWeek ||
         type == DateForType::endOfMonth || type == DateForType::endOfYear;
}

Period periodOf(DateComparisonType type) {
  switch (type) {
    case DateComparisonType::isSameDay:
      return Period::day;
    case DateComparisonType::isSameWeek:
      return Period::week;
    case DateComparisonType::isSameMonth:
      return Period::month;
    case DateComparisonType::isSameYear:
      break;
  }
  return Period::year;
}

}  // namespace

Date DateHelper::dateFor(DateForType type, Date date, const Calendar& calendar) {
  const Period period = periodOf(type);
  if (!isEnd(type)) return startOf(period, date, calendar, 0).value_or(date);
  const auto next = startOf(period, date, calendar, 1);
  return next ? Date(next->timePoint() - Date::Micros(1)) : date;
}

bool DateHelper::compare(DateComparisonType type, Date a, Date b, const Calendar& calendar) {
  const Period period = periodOf(type);
  const auto startA = startOf(period, a, calendar, 0);
  const auto startB = startOf(period, b, calendar, 0);
  return startA && startB && *startA == *startB;
}

const char* DateHelper::pattern(DateFormatType format) {
  switch (format) {
    case DateFormatType::isoDate:
      return "yyyy-MM-dd";
    case DateFormatType::isoYearMonth:
      return "yyyy-MM";
    case DateFormatType::isoDateTime:
      return "yyyy-MM-dd'T'HH:mm:ssXXX";
    case DateFormatType::time:
      break;
  }
  return "HH:mm";
}

std::string DateHelper::toString(DateFormatType format, Date date, const Calendar& calendar) {
  return calendar.format(date, pattern(format));
}

std::string DateHelper::toString(DateFormatType format, Date date, DateTimeZoneChoice timeZone,
                                 const std::string& locale) {
  const Calendar current = Calendar::current();
  const std::string zone =
      timeZone == DateTimeZoneChoice::utc ? std::string("UTC") : current.timeZoneIdentifier();
  const std::string& localeId = locale.empty() ? current.localeIdentifier() : locale;
  try {
    return toString(format, date, Calendar(zone, current.firstWeekday(), localeId));
  } catch (const std::invalid_argument&) {
    // The current zone is always known to ICU; this only guards against a broken install.
    return toString(format, date, Calendar("UTC", current.firstWeekday(), localeId));
  }
}

}  // namespace chronelle
