#include "chronelle/reports/ReportScopeFields.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chronelle/platform/Clock.h"
#include "chronelle/support/DateHelper.h"

namespace chronelle {
namespace {

// Whole seconds since 1970 UTC, rounding toward the past so that every instant of one
// second maps to the same number, before 1970 too.
std::int64_t wholeSeconds(Date date) {
  const std::int64_t micros = date.microsecondsSince1970();
  std::int64_t seconds = micros / 1'000'000;
  if (micros % 1'000'000 < 0) --seconds;
  return seconds;
}

bool sameSecond(const std::optional<Date>& a, const std::optional<Date>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || wholeSeconds(*a) == wholeSeconds(*b);
}

const char* billingOptionName(SessionQuery3::BillingStatusOption option) {
  switch (option) {
    case SessionQuery3::BillingStatusOption::nonBillable: return "nonBillable";
    case SessionQuery3::BillingStatusOption::unbilled: return "unbilled";
    case SessionQuery3::BillingStatusOption::billed: return "billed";
    case SessionQuery3::BillingStatusOption::paid: return "paid";
  }
  return "unknown";
}

}  // namespace

Date ReportScopeFields::effectiveReferenceDate() const { return referenceDate.value_or(Clock::now()); }

Date ReportScopeFields::fromDate() const {
  const auto startOfDay = [this](Date date) {
    return DateHelper::dateFor(DateForType::startOfDay, date, calendar);
  };
  switch (type) {
    case ReportScopeType::daily: return startOfDay(effectiveReferenceDate());
    case ReportScopeType::weekly:
      return startOfDay(DateHelper::dateFor(DateForType::startOfWeek, effectiveReferenceDate(), calendar));
    case ReportScopeType::monthly:
      return startOfDay(DateHelper::dateFor(DateForType::startOfMonth, effectiveReferenceDate(), calendar));
    case ReportScopeType::yearly:
      return startOfDay(DateHelper::dateFor(DateForType::startOfYear, effectiveReferenceDate(), calendar));
    case ReportScopeType::custom:
      return customFromDate ? *customFromDate : startOfDay(Clock::now());
  }
  return startOfDay(effectiveReferenceDate());
}

Date ReportScopeFields::toDate() const {
  switch (type) {
    case ReportScopeType::daily:
      return DateHelper::dateFor(DateForType::endOfDay, effectiveReferenceDate(), calendar);
    case ReportScopeType::weekly:
      return DateHelper::dateFor(DateForType::endOfWeek, effectiveReferenceDate(), calendar);
    case ReportScopeType::monthly:
      return DateHelper::dateFor(DateForType::endOfMonth, effectiveReferenceDate(), calendar);
    case ReportScopeType::yearly:
      return DateHelper::dateFor(DateForType::endOfYear, effectiveReferenceDate(), calendar);
    case ReportScopeType::custom:
      return customToDate ? *customToDate : DateHelper::dateFor(DateForType::endOfDay, Clock::now(), calendar);
  }
  return DateHelper::dateFor(DateForType::endOfDay, effectiveReferenceDate(), calendar);
}

double ReportScopeFields::timeInterval() const { return toDate().timeIntervalSince(fromDate()); }

DateInterval ReportScopeFields::dateInteval() const {
  const Date from = fromDate();
  return DateInterval(from, std::max(toDate(), from));
}

void ReportScopeFields::adjustReferenceDate(Date date) {
  if (type == ReportScopeType::custom) {
    customFromDate = date;
    customToDate = date;
  } else {
    referenceDate = date;
  }
}

void ReportScopeFields::adjustType(ReportScopeType newType) {
  const ReportScopeType oldType = type;
  if (newType == ReportScopeType::custom) {
    // The custom period starts as exactly the period that was shown.
    const DateInterval shown = dateInteval();
    const Date from = fromDate();
    const Date to = toDate();
    if (referenceDate && !shown.contains(*referenceDate)) referenceDate.reset();
    customFromDate = from;
    customToDate = to;
  } else if (oldType == ReportScopeType::custom) {
    referenceDate = fromDate();
    customFromDate.reset();
    customToDate.reset();
  }
  type = newType;
}

void ReportScopeFields::adjustToCustom(const DateInterval& interval) {
  adjustType(ReportScopeType::custom);
  customFromDate = interval.start();
  customToDate = interval.end();
}

void ReportScopeFields::stepForward() {
  if (type != ReportScopeType::custom) {
    // One second past the end lands in the next day, week, month or year.
    adjustReferenceDate(toDate() + 1.0);
    return;
  }
  const double length = timeInterval();
  const Date to = toDate();
  adjustToCustom(DateInterval(to, std::max(to + length, to)));
}

void ReportScopeFields::stepBackward() {
  if (type != ReportScopeType::custom) {
    adjustReferenceDate(fromDate() - 1.0);
    return;
  }
  const double length = timeInterval();
  const Date from = fromDate();
  const Date start = from - length;
  adjustToCustom(DateInterval(start, std::max(from, start)));
}

void ReportScopeFields::moveToToday() {
  const Date now = Clock::now();
  if (type != ReportScopeType::custom) {
    adjustReferenceDate(now);
    return;
  }
  const double length = timeInterval();
  // A zero-length (or reversed) custom period has no grid to move along.
  if (!(length > 0)) return;
  const Date from = fromDate();
  const Date to = toDate();
  const double distance = std::abs(from.timeIntervalSince(now));
  Date start = from;
  if (now > to) {
    start = from + std::floor(distance / length) * length;
  } else if (now < from) {
    start = from - std::ceil(distance / length) * length;
  } else {
    return;
  }
  adjustToCustom(DateInterval(start, std::max(start + length, start)));
}

bool ReportScopeFields::sharedFieldsEqual(const ReportScopeFields& other) const {
  return type == other.type && sameSecond(referenceDate, other.referenceDate) &&
         sameSecond(customFromDate, other.customFromDate) && sameSecond(customToDate, other.customToDate) &&
         archiveFilter == other.archiveFilter && billingStatus == other.billingStatus &&
         calendar.firstWeekday() == other.calendar.firstWeekday();
}

std::string ReportScopeFields::describePeriod() const {
  return std::string("type = ") + toString(type) + ",\n        from = " + fromDate().isoString() +
         ",\n        to = " + toDate().isoString();
}

std::string ReportScopeFields::describeFilters() const {
  std::string text = ",\n        archiveFilter = ";
  text += archiveFilter ? toString(*archiveFilter) : "nil";
  text += ",\n        billingStatus = ";
  if (billingStatus) {
    text += "[";
    bool first = true;
    for (const auto option : *billingStatus) {
      text += (first ? "" : ", ") + std::string(billingOptionName(option));
      first = false;
    }
    text += "]";
  } else {
    text += "nil";
  }
  return text;
}

}  // namespace chronelle
