#pragma once

#include <optional>
#include <set>
#include <string>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"
#include "chronelle/reports/ReportScopeType.h"

namespace chronelle {

/// The state every report scope shares (the period and the entry filters) and the period
/// arithmetic on it. `ReportScopeProtocol` builds the copy-returning transformations on top;
/// the scope types add what they select besides. Fields are public because a scope is a
/// plain value the application edits freely. A value type; usable on any thread (period
/// arithmetic reads `Clock::now()` when the reference date is absent).
class ReportScopeFields {
 public:
  /// A set of billing states for the billing filter.
  using BillingStatusSet = std::set<SessionQuery3::BillingStatusOption>;

  /// An instant inside the period of a non-custom scope; absent means "now".
  std::optional<Date> referenceDate;
  /// Bounds of a custom period, used exactly as stored; absent bounds fall back to the
  /// current day.
  ///@{
  std::optional<Date> customFromDate;
  std::optional<Date> customToDate;
  ///@}
  /// Calendar of all period arithmetic (time zone, first weekday).
  Calendar calendar;
  /// Day, week, month, year or custom period.
  ReportScopeType type = ReportScopeType::daily;
  /// Only tasks that are active, or only archived ones; absent: both.
  std::optional<SessionQuery3::ArchiveFilterOption> archiveFilter;
  /// Only entries in these billing states; absent: all.
  std::optional<BillingStatusSet> billingStatus;

  /// `referenceDate`, or now when absent.
  Date effectiveReferenceDate() const;
  /// First instant of the period: the start of the day, week, month or year that holds the
  /// reference date, or the custom start. Recomputed on every call.
  Date fromDate() const;
  /// Last instant of the period (the date helper's end, the last whole second), or the
  /// custom end.
  Date toDate() const;
  /// `toDate()` minus `fromDate()` in seconds (negative for a reversed custom period).
  double timeInterval() const;
  /// From `fromDate()` to the later of `toDate()` and `fromDate()`.
  DateInterval dateInteval() const;

 protected:
  /// A daily scope of today in `calendar`, without filters.
  explicit ReportScopeFields(Calendar calendar) : calendar(std::move(calendar)) {}

  /// In-place forms of the shared transformations; see ReportScopeProtocol for their rules.
  ///@{
  void adjustReferenceDate(Date date);
  void adjustType(ReportScopeType newType);
  void adjustToCustom(const DateInterval& interval);
  void stepForward();
  void stepBackward();
  void moveToToday();
  ///@}

  /// Equality of the shared fields: type, the three instants at whole-second resolution in
  /// UTC, the filters and the calendar's first weekday (zone and locale do not count).
  bool sharedFieldsEqual(const ReportScopeFields& other) const;
  /// "type = …,\n        from = …,\n        to = …" as the descriptions write it.
  std::string describePeriod() const;
  /// ",\n        archiveFilter = …,\n        billingStatus = …" as the descriptions write it.
  std::string describeFilters() const;
};

}  // namespace chronelle
