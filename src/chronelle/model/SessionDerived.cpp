// A time entry's measured values: durations, revenue, its interval and its day.
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/DateHelper.h"
#include "chronelle/support/Money.h"

namespace chronelle {
Date Session::effectiveEnd() const { return end().value_or(Clock::now()); }

double Session::effectiveDuration() const {
  if (faultingState() != 0) return 0;
  const auto start = begin();
  if (!start) return 0;
  return ChronelleDateUtils::effectiveDuration(*start, effectiveEnd());
}

double Session::effectiveDuration(std::optional<Date> from, std::optional<Date> to) const {
  if (faultingState() != 0) return 0;
  auto start = begin();
  if (!start) return 0;
  Date stop = effectiveEnd();
  if (from) {
    if (!(*from < stop)) return 0;
    if (*start < *from) start = *from;
  }
  if (to) {
    if (!(*start < *to)) return 0;
    if (stop > *to) stop = *to;
  }
  return ChronelleDateUtils::effectiveDuration(*start, stop);
}

double Session::effectiveRevenue() const {
  if (!isBillable()) return 0;
  if (end()) return confirmedRevenue();
  return revenueAmount(effectiveDuration(), hourlyRate());
}

double Session::effectiveRevenue(std::optional<Date> from, std::optional<Date> to) const {
  if (!isBillable()) return 0;
  return revenueAmount(effectiveDuration(from, to), hourlyRate());
}

DateInterval Session::effectiveDateIterval() const {
  const auto start = begin();
  if (faultingState() > 1 || !start) {
    const Date now = Clock::now();
    return DateInterval(now, now);
  }
  const Date stop = effectiveEnd();
  return DateInterval(*start, stop > *start ? stop : *start);
}

std::string Session::dayString() const {
  const auto start = begin();
  if (faultingState() > 1 || !start) return "";
  return DateHelper::toString(DateFormatType::isoDate, *start, DateTimeZoneChoice::local);
}

}  // namespace chronelle
