// Report periods: bounds, stepping, type changes, today on the custom grid, filters,
// equality and descriptions. No store needed: scopes without nodes are plain values.

#include <gtest/gtest.h>

#include <chrono>

#include "ReportsFixture.h"
#include "chronelle/reports/DateRange.h"
#include "chronelle/reports/ReportChartGranularity.h"
#include "chronelle/reports/ReportScope3.h"

namespace chronelle::testing {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
constexpr double kDay = 86400;

class ReportScopeTest : public ::testing::Test {
 protected:
  ScopedTimeZone zone{"Europe/Berlin"};
  ManualTime time{berlinTime(2026, 3, 29, 15, 0)};  // Sunday; clocks went forward at 02:00
  Calendar monday{"Europe/Berlin", 2};
  Calendar sunday{"Europe/Berlin", 1};

  ReportScope3 scope(ReportScopeType type, std::optional<Date> reference, const Calendar& calendar) const {
    ReportScope3 s(calendar);
    s.type = type;
    s.referenceDate = reference;
    return s;
  }
};

// A period ends in the last microsecond of the last second given here.
Date lastInstantOf(Date lastSecond) { return Date(lastSecond.timePoint() + std::chrono::microseconds(999'999)); }

TEST_F(ReportScopeTest, PeriodBoundsFollowTheCalendar) {
  struct Case {
    const char* name;
    ReportScopeType type;
    Date reference;
    bool mondayFirst;
    Date from;
    Date to;
  };
  const Case cases[] = {
      {"daily, 23-hour day", ReportScopeType::daily, berlinTime(2026, 3, 29, 12), true, berlinTime(2026, 3, 29),
       berlinTime(2026, 3, 29, 23, 59, 59)},
      {"daily, 25-hour day", ReportScopeType::daily, berlinTime(2026, 10, 25, 1), true, berlinTime(2026, 10, 25),
       berlinTime(2026, 10, 25, 23, 59, 59)},
      {"weekly on a Sunday, Monday first", ReportScopeType::weekly, berlinTime(2026, 3, 29, 12), true,
       berlinTime(2026, 3, 23), berlinTime(2026, 3, 29, 23, 59, 59)},
      {"weekly on a Sunday, Sunday first", ReportScopeType::weekly, berlinTime(2026, 3, 29, 12), false,
       berlinTime(2026, 3, 29), berlinTime(2026, 4, 4, 23, 59, 59)},
      {"monthly", ReportScopeType::monthly, berlinTime(2026, 3, 15, 8), true, berlinTime(2026, 3, 1),
       berlinTime(2026, 3, 31, 23, 59, 59)},
      {"monthly, February", ReportScopeType::monthly, berlinTime(2028, 2, 29, 23, 59, 59), true, berlinTime(2028, 2, 1),
       berlinTime(2028, 2, 29, 23, 59, 59)},
      {"yearly", ReportScopeType::yearly, berlinTime(2026, 7, 1), true, berlinTime(2026, 1, 1),
       berlinTime(2026, 12, 31, 23, 59, 59)},
  };
  for (const auto& c : cases) {
    const auto s = scope(c.type, c.reference, c.mondayFirst ? monday : sunday);
    EXPECT_EQ(s.fromDate(), c.from) << c.name << ": " << s.fromDate().isoString();
    EXPECT_EQ(s.toDate(), lastInstantOf(c.to)) << c.name << ": " << s.toDate().isoString();
    EXPECT_EQ(s.timeInterval(), lastInstantOf(c.to).timeIntervalSince(c.from)) << c.name;
  }

  // Without a reference date the period follows the clock.
  ReportScope3 fresh(monday);
  EXPECT_EQ(fresh.type, ReportScopeType::daily);
  EXPECT_EQ(fresh.fromDate(), berlinTime(2026, 3, 29));
  time.set(berlinTime(2026, 3, 30, 0, 0, 1));
  EXPECT_EQ(fresh.fromDate(), berlinTime(2026, 3, 30));
  EXPECT_FALSE(fresh.toSessionQuery().taskIds.has_value());

  // Custom bounds are used as stored, without rounding; missing ones fall back to today.
  ReportScope3 custom = scope(ReportScopeType::custom, std::nullopt, monday);
  const Date oddStart = berlinTime(2026, 3, 2, 13, 17, 42) + 0.25;
  custom.customFromDate = oddStart;
  EXPECT_EQ(custom.fromDate(), oddStart);
  EXPECT_EQ(custom.toDate(), lastInstantOf(berlinTime(2026, 3, 30, 23, 59, 59)));
  custom.customToDate = oddStart - 10.0;  // reversed: the interval never is
  EXPECT_EQ(custom.timeInterval(), -10.0);
  EXPECT_EQ(custom.dateInteval().duration(), 0.0);
}

TEST_F(ReportScopeTest, StepsToTheAdjacentPeriod) {
  const auto january = scope(ReportScopeType::monthly, berlinTime(2026, 1, 20), monday);
  EXPECT_EQ(january.nextScope().fromDate(), berlinTime(2026, 2, 1));
  EXPECT_EQ(january.nextScope().toDate(), lastInstantOf(berlinTime(2026, 2, 28, 23, 59, 59)));
  EXPECT_EQ(january.previousScope().fromDate(), berlinTime(2025, 12, 1));
  EXPECT_EQ(january.nextScope().previousScope().fromDate(), january.fromDate());
  EXPECT_EQ(january.referenceDate, berlinTime(2026, 1, 20)) << "the original is unchanged";

  // Across the change to summer time the next day starts at local midnight.
  const auto saturday = scope(ReportScopeType::daily, berlinTime(2026, 3, 28, 22), monday);
  EXPECT_EQ(saturday.nextScope().fromDate(), berlinTime(2026, 3, 29));
  EXPECT_EQ(saturday.nextScope().nextScope().fromDate(), berlinTime(2026, 3, 30));
  const auto week = scope(ReportScopeType::weekly, berlinTime(2026, 3, 25), monday);
  EXPECT_EQ(week.nextScope().fromDate(), berlinTime(2026, 3, 30));
  EXPECT_EQ(week.previousScope().fromDate(), berlinTime(2026, 3, 16));
  const auto year = scope(ReportScopeType::yearly, berlinTime(2026, 5, 5), monday);
  EXPECT_EQ(year.previousScope().fromDate(), berlinTime(2025, 1, 1));

  // Custom periods keep their length and share the boundary instant.
  ReportScope3 custom = scope(ReportScopeType::custom, std::nullopt, monday);
  custom.customFromDate = berlinTime(2026, 3, 10, 12);
  custom.customToDate = berlinTime(2026, 3, 13, 12);
  const auto next = custom.nextScope();
  EXPECT_EQ(next.type, ReportScopeType::custom);
  EXPECT_EQ(next.fromDate(), berlinTime(2026, 3, 13, 12));
  EXPECT_EQ(next.toDate(), berlinTime(2026, 3, 16, 12));
  const auto previous = custom.previousScope();
  EXPECT_EQ(previous.fromDate(), berlinTime(2026, 3, 7, 12));
  EXPECT_EQ(previous.toDate(), berlinTime(2026, 3, 10, 12));
}

TEST_F(ReportScopeTest, TypeChangesCarryThePeriod) {
  const auto week = scope(ReportScopeType::weekly, berlinTime(2026, 3, 25, 9), monday);
  const auto custom = week.scopeByAdjusting(ReportScopeType::custom);
  EXPECT_EQ(custom.type, ReportScopeType::custom);
  EXPECT_EQ(custom.customFromDate, week.fromDate());
  EXPECT_EQ(custom.customToDate, week.toDate());
  EXPECT_EQ(custom.referenceDate, berlinTime(2026, 3, 25, 9)) << "inside the old period: kept";

  // Back to a day: the day of the old custom start.
  const auto day = custom.scopeByAdjusting(ReportScopeType::daily);
  EXPECT_EQ(day.referenceDate, berlinTime(2026, 3, 23));
  EXPECT_FALSE(day.customFromDate.has_value());
  EXPECT_FALSE(day.customToDate.has_value());
  EXPECT_EQ(day.fromDate(), berlinTime(2026, 3, 23));

  // Between non-custom kinds only the kind changes.
  const auto month = week.scopeByAdjusting(ReportScopeType::monthly);
  EXPECT_EQ(month.referenceDate, week.referenceDate);
  EXPECT_EQ(month.fromDate(), berlinTime(2026, 3, 1));

  // A reference date outside the shown period is dropped on the way to custom.
  ReportScope3 stale = custom;
  stale.referenceDate = berlinTime(2026, 4, 20);
  EXPECT_FALSE(stale.scopeByAdjusting(ReportScopeType::custom).referenceDate.has_value());

  // A custom scope given a reference date collapses to that instant.
  const auto collapsed = custom.scopeByAdjusting(berlinTime(2026, 3, 24, 7));
  EXPECT_EQ(collapsed.fromDate(), berlinTime(2026, 3, 24, 7));
  EXPECT_EQ(collapsed.toDate(), berlinTime(2026, 3, 24, 7));

  const auto fromInterval = day.customScope(DateInterval(berlinTime(2026, 2, 1), berlinTime(2026, 2, 3)));
  EXPECT_EQ(fromInterval.type, ReportScopeType::custom);
  EXPECT_EQ(fromInterval.fromDate(), berlinTime(2026, 2, 1));
  EXPECT_EQ(fromInterval.toDate(), berlinTime(2026, 2, 3));
}

TEST_F(ReportScopeTest, TodayOnTheCustomGrid) {
  const Date now = time.now();
  struct Case {
    const char* name;
    Date from;
    double length;
    Date expectedFrom;
  };
  const Case cases[] = {
      {"7 days that ended 10 days ago", now - 17 * kDay, 7 * kDay, now - 3 * kDay},
      {"7 days that start in 10 days", now + 10 * kDay, 7 * kDay, now - 4 * kDay},
      {"3 days holding now", now - kDay, 3 * kDay, now - kDay},
      {"now exactly at the end", now - 2 * kDay, 2 * kDay, now - 2 * kDay},
      {"zero length in the past", now - 5 * kDay, 0, now - 5 * kDay},
  };
  for (const auto& c : cases) {
    ReportScope3 s = scope(ReportScopeType::custom, std::nullopt, monday);
    s.customFromDate = c.from;
    s.customToDate = c.from + c.length;
    const auto today = s.scopeForToday();
    EXPECT_EQ(today.fromDate(), c.expectedFrom) << c.name << ": " << today.fromDate().isoString();
    EXPECT_EQ(today.timeInterval(), c.length) << c.name;
    EXPECT_TRUE(c.length == 0 || today.dateInteval().contains(now)) << c.name;
  }
  const auto someDay = scope(ReportScopeType::monthly, berlinTime(2025, 6, 6), monday);
  EXPECT_EQ(someDay.scopeForToday().referenceDate, now);
}

TEST_F(ReportScopeTest, BillingAndArchiveFilters) {
  const ReportScope3 all(monday);
  EXPECT_EQ(all.scopeByAdding(Billing::paid).billingStatus, std::set<Billing>{Billing::paid});
  const auto two = all.scopeByAdding(Billing::paid).scopeByAdding(Billing::nonBillable);
  EXPECT_EQ(two.billingStatus, (std::set<Billing>{Billing::nonBillable, Billing::paid}));
  // Removing the last status leaves an empty set: no entry matches.
  const auto none = two.scopeByRemoving(Billing::paid).scopeByRemoving(Billing::nonBillable);
  ASSERT_TRUE(none.billingStatus.has_value());
  EXPECT_TRUE(none.billingStatus->empty());
  EXPECT_TRUE(all.scopeByRemoving(Billing::billed).billingStatus.has_value());
  // Adjusting to an empty set means every status.
  EXPECT_FALSE(two.scopeByAdjusting(std::set<Billing>{}).billingStatus.has_value());
  EXPECT_EQ(two.scopeByAdjusting(std::set<Billing>{Billing::billed}).billingStatus,
            std::set<Billing>{Billing::billed});
  EXPECT_FALSE(two.scopeWithAllBillingStatuses().billingStatus.has_value());

  const auto archived = all.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::archivedOnly);
  const auto query = archived.scopeByAdding(Billing::billed).toSessionQuery();
  EXPECT_EQ(query.archived, SessionQuery3::ArchiveFilterOption::archivedOnly);
  EXPECT_EQ(query.billingStatus, std::set<Billing>{Billing::billed});
  EXPECT_EQ(query.from, archived.fromDate());
  EXPECT_EQ(query.to, archived.toDate());
}

TEST_F(ReportScopeTest, EqualityAtWholeSecondsAndFirstWeekday) {
  const Date second = berlinTime(2026, 3, 3, 10, 0, 5);
  const auto base = scope(ReportScopeType::weekly, second + 0.1, monday);
  struct Case {
    const char* name;
    ReportScope3 other;
    bool equal;
  };
  ReportScope3 otherZone = scope(ReportScopeType::weekly, second + 0.9, monday);
  otherZone.calendar = Calendar("Asia/Tokyo", 2);
  ReportScope3 filtered = base;
  filtered.billingStatus = std::set<Billing>{};
  ReportScope3 noNodes = base;
  noNodes.nodes = NodeSet{};
  ReportScope3 customEnd = base;
  customEnd.customToDate = second;
  ReportScope3 archived = base;
  archived.archiveFilter = SessionQuery3::ArchiveFilterOption::archivedOnly;
  const Case cases[] = {
      {"same second, other fraction", scope(ReportScopeType::weekly, second + 0.9, monday), true},
      {"next second", scope(ReportScopeType::weekly, second + 1.0, monday), false},
      {"other time zone", otherZone, true},
      {"other first weekday", scope(ReportScopeType::weekly, second + 0.1, sunday), false},
      {"other type", scope(ReportScopeType::monthly, second + 0.1, monday), false},
      {"no reference date", scope(ReportScopeType::weekly, std::nullopt, monday), false},
      {"empty billing set against none", filtered, false},
      {"empty node set against none", noNodes, true},
      {"a custom end", customEnd, false},
      {"an archive filter", archived, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(base == c.other, c.equal) << c.name;
    EXPECT_EQ(base != c.other, !c.equal) << c.name;
  }
  // Whole seconds in UTC, also before 1970.
  const Date early = Date::fromSecondsSince1970(-10.5);
  EXPECT_TRUE(scope(ReportScopeType::daily, early, monday) == scope(ReportScopeType::daily, early + 0.4, monday));
  EXPECT_FALSE(scope(ReportScopeType::daily, early, monday) == scope(ReportScopeType::daily, early + 0.6, monday));
}

TEST_F(ReportScopeTest, DescriptionLabelsAndSmallTypes) {
  auto s = scope(ReportScopeType::weekly, berlinTime(2026, 3, 25), monday).scopeByAdding(Billing::paid);
  const std::string text = s.description();
  const std::string pieces[] = {"    <ReportScope3:\n        type = weekly", ",\n        from = ",
                                ",\n        to = ",      ",\n        nodes = [nil)]",
                                ",\n        archiveFilter = nil", ",\n        billingStatus = [paid]", "\n    >"};
  std::size_t at = 0;
  for (const auto& piece : pieces) {
    const auto found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing in order: " << piece << "\n" << text;
    at = found + piece.size();
  }
  EXPECT_EQ(at, text.size());

  EXPECT_EQ(reportScopeTypeFromRaw(1), ReportScopeType::daily);
  EXPECT_EQ(reportScopeTypeFromRaw(5), ReportScopeType::custom);
  EXPECT_FALSE(reportScopeTypeFromRaw(0).has_value());
  EXPECT_FALSE(reportScopeTypeFromRaw(6).has_value());
  EXPECT_EQ(localizedName(ReportScopeType::yearly), "Yearly");
  EXPECT_EQ(reportChartGranularityFromRaw(1), ReportChartGranularity::monthly);
  EXPECT_FALSE(reportChartGranularityFromRaw(2).has_value());
  EXPECT_EQ(DateRange(berlinTime(2026, 1, 2), berlinTime(2026, 1, 1)).timeInterval(), -kDay);
}

}  // namespace
}  // namespace chronelle::testing
