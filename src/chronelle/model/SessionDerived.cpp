// A time entry's measured values: durations, revenue, its interval and its day.
#include <cmath>

#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/DateHelper.h"

namespace chronelle {
namespace {

// Hundredths of the currency unit, halves away from zero (std::round's rule).
double roundedToCents(double amount) { return std::round(amount * 100) / 100; }

}  // namespace

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
  // The factors in this order: a one-second entry at 18/h is 0.5 cent and must round up.
  return roundedToCents(hourlyRate() / 3600 * effectiveDuration());
}

double Session::effectiveRevenue(std::optional<Date> from, std::optional<Date> to) const {
  if (!isBillable()) return 0;
  return roundedToCents(effectiveDuration(from, to) * (hourlyRate() / 3600));
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
