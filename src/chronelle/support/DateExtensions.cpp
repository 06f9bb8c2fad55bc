#include "chronelle/support/DateExtensions.h"

#include <chrono>

#include "chronelle/support/DateHelper.h"

namespace chronelle {
namespace {

// The local calendar day of `date` as a count of days since 1970-01-01, so that the
// difference of two counts is a number of days whatever the length of the days between.
std::optional<std::int64_t> localDayNumber(Date date, const Calendar& calendar) {
  const Date start = DateHelper::dateFor(DateForType::startOfDay, date, calendar);
  const DateComponents local = calendar.components(start);
  if (!local.year || !local.month || !local.day) return std::nullopt;
  const std::chrono::year_month_day day{std::chrono::year(*local.year),
                                        std::chrono::month(static_cast<unsigned>(*local.month)),
                                        std::chrono::day(static_cast<unsigned>(*local.day))};
  return std::chrono::sys_days(day).time_since_epoch().count();
}

}  // namespace

Date roundedTo(Date date, std::int64_t minutes) {
  // Zero has no grid. A negative step m gives m × round(t ÷ m) = |m| × round(t ÷ |m|): the
  // grid of |m|, since rounding halves away from zero is symmetric.
  if (minutes == 0) return date;
  // Whole microseconds, so the rounding is exact where a double would blur the halves. Steps
  // are capped at 2^62 µs (about 146,000 years), far beyond any instant a Date holds, so no
  // sum below overflows.
  constexpr std::int64_t kMicrosPerMinute = 60'000'000;
  constexpr std::int64_t kMaxMinutes = (std::int64_t{1} << 62) / kMicrosPerMinute;
  // Compared as negatives so that the most negative value cannot overflow on negation.
  const std::int64_t negative = minutes < 0 ? minutes : -minutes;
  const std::int64_t step = (negative > -kMaxMinutes ? -negative : kMaxMinutes) * kMicrosPerMinute;
  const std::int64_t micros = date.microsecondsSince1970();
  const std::int64_t remainder = micros % step;  // takes the sign of micros
  std::int64_t rounded = micros - remainder;
  if (remainder > 0 && remainder >= step - remainder) rounded += step;
  if (remainder < 0 && -remainder >= step + remainder) rounded -= step;
  return Date::fromMicroseconds(rounded);
}

std::int64_t numberOfDaysSince(Date date, Date other, const Calendar& calendar) {
  const auto day = localDayNumber(date, calendar);
  const auto otherDay = localDayNumber(other, calendar);
  if (day && otherDay) return *day - *otherDay;
  // Outside the calendar's range: fall back to whole 24-hour spans.
  return static_cast<std::int64_t>(date.timeIntervalSince(other) / 86400);
}

bool intersectsStrict(const DateInterval& interval, const DateInterval& other) {
  if (!interval.intersects(other)) return false;
  if (interval.duration() == 0 || other.duration() == 0) return true;
  return other.start() != interval.end() && other.end() != interval.start();
}

}  // namespace chronelle
