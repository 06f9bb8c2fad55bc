// Report periods: bounds, stepping, type changes, today on the custom grid, filters,
// equality and labels (plain values, no store); scopes narrowed to nodes (on a store).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "ReportsFixture.h"
#include "chronelle/reports/DateRange.h"
#include "chronelle/reports/ReportChartGranularity.h"
#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/reports/NodeReportScope.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/ReportScope3.h"

namespace chronelle::testing {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
using Type = ReportScopeType;
constexpr double kDay = 86400;

class ReportScopeTest : public ::testing::Test {
 protected:
  ScopedTimeZone zone{"Europe/Berlin"};
  ManualTime time{berlinTime(2026, 3, 29, 15, 0)};  // Sunday; clocks went forward at 02:00
  Calendar monday{"Europe/Berlin", 2};
  Calendar sunday{"Europe/Berlin", 1};

  ReportScope3 scope(Type type, std::optional<Date> reference, const Calendar& calendar) const {
    ReportScope3 s(calendar);
    s.type = type;
    s.referenceDate = reference;
    return s;
  }
  ReportScope3 custom(Date from, Date to) const {
    ReportScope3 s = scope(Type::custom, std::nullopt, monday);
    s.customFromDate = from;
    s.customToDate = to;
    return s;
  }
};

// A period ends in the last microsecond of the last second given here.
Date lastInstantOf(Date lastSecond) { return Date(lastSecond.timePoint() + std::chrono::microseconds(999'999)); }
// "from – to" of a scope, for one comparison.
template <class Scope>
std::string bounds(const Scope& s) { return s.fromDate().isoString() + " – " + s.toDate().isoString(); }
std::string bounds(Date from, Date to) { return from.isoString() + " – " + to.isoString(); }
// The bounds of the local days from `first` to `last`, "yyyy-MM-dd" each.
std::string wholeDays(const char* first, const char* last) {
  int y1 = 0, m1 = 0, d1 = 0, y2 = 0, m2 = 0, d2 = 0;
  std::sscanf(first, "%d-%d-%d", &y1, &m1, &d1);
  std::sscanf(last, "%d-%d-%d", &y2, &m2, &d2);
  return bounds(berlinTime(y1, m1, d1), lastInstantOf(berlinTime(y2, m2, d2, 23, 59, 59)));
}

TEST_F(ReportScopeTest, PeriodBoundsFollowTheCalendar) {
  const struct { const char* name; Type type; Date reference; bool mondayFirst; std::string bounds; } cases[] = {
      {"daily, 23-hour day", Type::daily, berlinTime(2026, 3, 29, 12), true, wholeDays("2026-03-29", "2026-03-29")},
      {"daily, 25-hour day", Type::daily, berlinTime(2026, 10, 25, 1), true, wholeDays("2026-10-25", "2026-10-25")},
      {"weekly, Monday first", Type::weekly, berlinTime(2026, 3, 29, 12), true, wholeDays("2026-03-23", "2026-03-29")},
      {"weekly, Sunday first", Type::weekly, berlinTime(2026, 3, 29, 12), false, wholeDays("2026-03-29", "2026-04-04")},
      {"monthly", Type::monthly, berlinTime(2026, 3, 15, 8), true, wholeDays("2026-03-01", "2026-03-31")},
      {"monthly, February", Type::monthly, berlinTime(2028, 2, 29, 23, 59, 59), true, wholeDays("2028-02-01", "2028-02-29")},
      {"yearly", Type::yearly, berlinTime(2026, 7, 1), true, wholeDays("2026-01-01", "2026-12-31")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(bounds(scope(c.type, c.reference, c.mondayFirst ? monday : sunday)), c.bounds) << c.name;
  // The interval of a day is its real length, to its last microsecond.
  EXPECT_NEAR(scope(Type::daily, berlinTime(2026, 3, 29, 12), monday).timeInterval(), 23 * 3600.0 - 1e-6, 1e-7);
  EXPECT_NEAR(scope(Type::daily, berlinTime(2026, 10, 25, 1), monday).timeInterval(), 25 * 3600.0 - 1e-6, 1e-7);

  // Without a reference date the period follows the clock.
  ReportScope3 fresh(monday);
  EXPECT_EQ(std::pair(fresh.type, fresh.fromDate()), std::pair(Type::daily, berlinTime(2026, 3, 29)));
  time.set(berlinTime(2026, 3, 30, 0, 0, 1));
  EXPECT_EQ(fresh.fromDate(), berlinTime(2026, 3, 30));

  // Custom bounds are used as stored, without rounding; missing ones fall back to today.
  ReportScope3 odd = scope(Type::custom, std::nullopt, monday);
  const Date oddStart = berlinTime(2026, 3, 2, 13, 17, 42) + 0.25;
  odd.customFromDate = oddStart;
  EXPECT_EQ(bounds(odd), bounds(oddStart, lastInstantOf(berlinTime(2026, 3, 30, 23, 59, 59))));  // today's end
  odd.customToDate = oddStart - 10.0;  // reversed: the interval never is
  EXPECT_EQ(std::pair(odd.timeInterval(), odd.dateInteval().duration()), std::pair(-10.0, 0.0));
}

TEST_F(ReportScopeTest, StepsToTheAdjacentPeriod) {
  const auto january = scope(Type::monthly, berlinTime(2026, 1, 20), monday);
  const auto saturday = scope(Type::daily, berlinTime(2026, 3, 28, 22), monday);  // before the clock change
  const auto week = scope(Type::weekly, berlinTime(2026, 3, 25), monday);
  const auto year = scope(Type::yearly, berlinTime(2026, 5, 5), monday);
  const auto span = custom(berlinTime(2026, 3, 10, 12), berlinTime(2026, 3, 13, 12));  // keeps its length
  const std::tuple<const char*, ReportScope3, std::string> cases[] = {
      {"next month", january.nextScope(), wholeDays("2026-02-01", "2026-02-28")},
      {"previous month", january.previousScope(), wholeDays("2025-12-01", "2025-12-31")},
      {"there and back", january.nextScope().previousScope(), bounds(january)},
      {"next day over the clock change", saturday.nextScope(), wholeDays("2026-03-29", "2026-03-29")},
      {"the day after", saturday.nextScope().nextScope(), wholeDays("2026-03-30", "2026-03-30")},
      {"next week", week.nextScope(), wholeDays("2026-03-30", "2026-04-05")},
      {"previous week", week.previousScope(), wholeDays("2026-03-16", "2026-03-22")},
      {"previous year", year.previousScope(), wholeDays("2025-01-01", "2025-12-31")},
      {"next custom", span.nextScope(), bounds(berlinTime(2026, 3, 13, 12), berlinTime(2026, 3, 16, 12))},
      {"previous custom", span.previousScope(), bounds(berlinTime(2026, 3, 7, 12), berlinTime(2026, 3, 10, 12))},
  };
  for (const auto& [name, stepped, expected] : cases) EXPECT_EQ(bounds(stepped), expected) << name;
  EXPECT_EQ(span.nextScope().type, Type::custom);
  EXPECT_EQ(january.referenceDate, berlinTime(2026, 1, 20)) << "the original is unchanged";
}

TEST_F(ReportScopeTest, TypeChangesCarryThePeriod) {
  const auto week = scope(Type::weekly, berlinTime(2026, 3, 25, 9), monday);
  const auto asCustom = week.scopeByAdjusting(Type::custom);
  EXPECT_EQ(std::tuple(asCustom.type, asCustom.customFromDate, asCustom.customToDate),
            std::tuple(Type::custom, std::optional(week.fromDate()), std::optional(week.toDate())));
  EXPECT_EQ(asCustom.referenceDate, berlinTime(2026, 3, 25, 9)) << "inside the old period: kept";

  // Back to a day: the day of the old custom start, custom bounds dropped.
  const auto day = asCustom.scopeByAdjusting(Type::daily);
  EXPECT_EQ(std::tuple(day.referenceDate, day.customFromDate, day.customToDate, day.fromDate()),
            std::tuple(std::optional(berlinTime(2026, 3, 23)), std::optional<Date>(), std::optional<Date>(),
                       berlinTime(2026, 3, 23)));
  // Between non-custom kinds only the kind changes.
  const auto month = week.scopeByAdjusting(Type::monthly);
  EXPECT_EQ(std::pair(month.referenceDate, month.fromDate()), std::pair(week.referenceDate, berlinTime(2026, 3, 1)));

  // A reference date outside the shown period is dropped on the way to custom.
  ReportScope3 stale = asCustom;
  stale.referenceDate = berlinTime(2026, 4, 20);
  EXPECT_FALSE(stale.scopeByAdjusting(Type::custom).referenceDate.has_value());
  // A custom scope given a reference date collapses to that instant.
  EXPECT_EQ(bounds(asCustom.scopeByAdjusting(berlinTime(2026, 3, 24, 7))),
            bounds(berlinTime(2026, 3, 24, 7), berlinTime(2026, 3, 24, 7)));
  const auto fromInterval = day.customScope(DateInterval(berlinTime(2026, 2, 1), berlinTime(2026, 2, 3)));
  EXPECT_EQ(std::pair(fromInterval.type, bounds(fromInterval)),
            std::pair(Type::custom, bounds(berlinTime(2026, 2, 1), berlinTime(2026, 2, 3))));
}

TEST_F(ReportScopeTest, TodayOnTheCustomGrid) {
  const Date now = time.now();
  const struct { const char* name; Date from; double length; Date expectedFrom; } cases[] = {
      {"7 days that ended 10 days ago", now - 17 * kDay, 7 * kDay, now - 3 * kDay},
      {"7 days that start in 10 days", now + 10 * kDay, 7 * kDay, now - 4 * kDay},
      {"3 days holding now", now - kDay, 3 * kDay, now - kDay},
      {"now exactly at the end", now - 2 * kDay, 2 * kDay, now - 2 * kDay},
      {"zero length in the past", now - 5 * kDay, 0, now - 5 * kDay},
  };
  for (const auto& c : cases) {
    const auto today = custom(c.from, c.from + c.length).scopeForToday();
    EXPECT_EQ(bounds(today), bounds(c.expectedFrom, c.expectedFrom + c.length)) << c.name;
    EXPECT_TRUE(c.length == 0 || today.dateInteval().contains(now)) << c.name;
  }
  EXPECT_EQ(scope(Type::monthly, berlinTime(2025, 6, 6), monday).scopeForToday().referenceDate, now);
}

TEST_F(ReportScopeTest, BillingAndArchiveFilters) {
  const ReportScope3 all(monday);
  const auto two = all.scopeByAdding(Billing::paid).scopeByAdding(Billing::nonBillable);
  using Set = std::optional<std::set<Billing>>;
  EXPECT_EQ(all.scopeByAdding(Billing::paid).billingStatus, Set(std::set{Billing::paid}));
  EXPECT_EQ(two.billingStatus, Set(std::set{Billing::nonBillable, Billing::paid}));
  // Removing the last status leaves an empty set, which no entry matches; adjusting to an empty
  // set means every status.
  EXPECT_EQ(two.scopeByRemoving(Billing::paid).scopeByRemoving(Billing::nonBillable).billingStatus, Set(std::set<Billing>{}));
  EXPECT_EQ(all.scopeByRemoving(Billing::billed).billingStatus, Set(std::set<Billing>{}));
  EXPECT_EQ(two.scopeByAdjusting(std::set<Billing>{}).billingStatus, Set());
  EXPECT_EQ(two.scopeByAdjusting(std::set{Billing::billed}).billingStatus, Set(std::set{Billing::billed}));
  EXPECT_EQ(two.scopeWithAllBillingStatuses().billingStatus, Set());

  const auto archived = all.scopeByAdjusting(SessionQuery3::ArchiveFilterOption::archivedOnly);
  const auto query = archived.scopeByAdding(Billing::billed).toSessionQuery();
  EXPECT_EQ(std::tuple(query.archived, query.billingStatus, query.from, query.to),
            std::tuple(std::optional(SessionQuery3::ArchiveFilterOption::archivedOnly), Set(std::set{Billing::billed}),
                       std::optional(archived.fromDate()), std::optional(archived.toDate())));
}

TEST_F(ReportScopeTest, EqualityAtWholeSecondsAndFirstWeekday) {
  const Date second = berlinTime(2026, 3, 3, 10, 0, 5);
  const auto base = scope(Type::weekly, second + 0.1, monday);
  const auto changed = [&](auto change) {
    ReportScope3 other = base;
    change(other);
    return other;
  };
  const struct { const char* name; ReportScope3 other; bool equal; } cases[] = {
      {"same second, other fraction", scope(Type::weekly, second + 0.9, monday), true},
      {"next second", scope(Type::weekly, second + 1.0, monday), false},
      {"other time zone", changed([](auto& s) { s.calendar = Calendar("Asia/Tokyo", 2); }), true},
      {"other first weekday", scope(Type::weekly, second + 0.1, sunday), false},
      {"other type", scope(Type::monthly, second + 0.1, monday), false},
      {"no reference date", scope(Type::weekly, std::nullopt, monday), false},
      {"empty billing set against none", changed([](auto& s) { s.billingStatus = std::set<Billing>{}; }), false},
      {"empty node set against none", changed([](auto& s) { s.nodes = NodeSet{}; }), true},
      {"a custom end", changed([&](auto& s) { s.customToDate = second; }), false},
      {"an archive filter",
       changed([](auto& s) { s.archiveFilter = SessionQuery3::ArchiveFilterOption::archivedOnly; }), false},
  };
  for (const auto& c : cases) EXPECT_EQ(std::pair(base == c.other, base != c.other), std::pair(c.equal, !c.equal)) << c.name;
  const Date early = Date::fromSecondsSince1970(-10.5);  // whole seconds in UTC, also before 1970
  EXPECT_TRUE(scope(Type::daily, early, monday) == scope(Type::daily, early + 0.4, monday));
  EXPECT_FALSE(scope(Type::daily, early, monday) == scope(Type::daily, early + 0.6, monday));
}

TEST_F(ReportScopeTest, LabelsAndSmallTypes) {
  EXPECT_EQ(std::tuple(reportScopeTypeFromRaw(0), reportScopeTypeFromRaw(1), reportScopeTypeFromRaw(5),
                       reportScopeTypeFromRaw(6)),
            std::tuple(std::optional<Type>(), std::optional(Type::daily), std::optional(Type::custom), std::optional<Type>()));
  EXPECT_EQ(localizedName(Type::yearly), "Yearly");
  EXPECT_EQ(std::pair(reportChartGranularityFromRaw(1), reportChartGranularityFromRaw(2)),
            std::pair(std::optional(ReportChartGranularity::monthly), std::optional<ReportChartGranularity>()));
  EXPECT_EQ(DateRange(berlinTime(2026, 1, 2), berlinTime(2026, 1, 1)).timeInterval(), -kDay);
}

// Scopes narrowed to nodes: the tasks they select, node set edits, node equality.
class ScopeNodesTest : public ReportsFixture {
 protected:
  ScopeNodesTest() {
    makeTree();
    save();
  }

  static std::set<ObjectID> ids(std::initializer_list<std::shared_ptr<Task>> tasks) {
    std::set<ObjectID> result;
    for (const auto& task : tasks) result.insert(task->objectID());
    return result;
  }
};

TEST_F(ScopeNodesTest, ReportScopeSelectsTasksOfItsNodes) {
  const ReportScope3 all(berlin());
  EXPECT_FALSE(all.toSessionQuery().taskIds.has_value());
  const auto devAndTop = all.scopeByAdusting(NodeSet{dev, top});
  EXPECT_EQ(devAndTop.toSessionQuery().taskIds, ids({backend, frontend, top}));
  // A folder together with one of its own tasks: the task once.
  EXPECT_EQ(all.scopeByAdusting(NodeSet{work, backend}).toSessionQuery().taskIds, ids({design, backend, frontend}));

  EXPECT_FALSE(devAndTop.scopeByAdusting(NodeSet{}).nodes || devAndTop.scopeWithAllNodes().nodes) << "all tasks";
  EXPECT_EQ(devAndTop.scopeByAdding(NodeSet{admin, top}).nodes->size(), 3u);
  EXPECT_EQ(all.scopeByAdding(NodeSet{admin}).nodes, NodeSet{admin});

  // Removing down to nothing selects no task: an empty, present task set.
  const auto nothing = devAndTop.scopeByRemoving(NodeSet{dev, top});
  EXPECT_EQ(std::pair(nothing.nodes, nothing.toSessionQuery().taskIds),
            std::pair(std::optional(NodeSet{}), std::optional(std::set<ObjectID>{})));

  // Nodes compare by identifier.
  EXPECT_TRUE(devAndTop == all.scopeByAdding(NodeSet{top}).scopeByAdding(NodeSet{dev}));
  EXPECT_FALSE(devAndTop == all.scopeByAdusting(NodeSet{dev}));
}

// From the start of the day of the nodes' oldest entry to the end of the day of their latest
// one, or of today while it runs.
TEST_F(ScopeNodesTest, CustomScopesCoverTheDaysOfTheNodesEntries) {
  makeEntry(backend, berlinTime(2026, 2, 3, 23, 30), berlinTime(2026, 2, 4, 0, 30));
  makeEntry(frontend, berlinTime(2026, 3, 5, 9), berlinTime(2026, 3, 5, 10));
  makeEntry(design, berlinTime(2026, 3, 10, 9), berlinTime(2026, 3, 10, 10));
  makeEntry(top, berlinTime(2026, 3, 28, 22), std::nullopt);
  save();
  const auto endOf = [](int month, int day) { return lastInstantOf(berlinTime(2026, month, day, 23, 59, 59)); };
  const struct { const char* name; NodeSet nodes; std::optional<DateInterval> period; } cases[] = {
      {"a folder's tasks", NodeSet{dev}, DateInterval(berlinTime(2026, 2, 3), endOf(3, 5))},
      {"running until today", NodeSet{top}, DateInterval(berlinTime(2026, 3, 28), endOf(3, 29))},
      {"running beside ended", NodeSet{top, dev}, DateInterval(berlinTime(2026, 2, 3), endOf(3, 29))},
      {"two nodes", NodeSet{design, dev}, DateInterval(berlinTime(2026, 2, 3), endOf(3, 10))},
      {"no entries", NodeSet{errands}, std::nullopt},
  };
  ReportCalculator calculator(provider);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto scope = calculator.getCustomReportScope(c.nodes, berlin());
    ASSERT_EQ(scope.has_value(), c.period.has_value());
    if (!scope) continue;
    const std::string period = bounds(c.period->start(), c.period->end());
    EXPECT_EQ(std::tuple(scope->type, bounds(*scope), scope->nodes), std::tuple(Type::custom, period, std::optional(c.nodes)));
    if (c.nodes.size() != 1) continue;
    const auto nodeScope = calculator.getCustomNodeReportScope(*c.nodes.begin(), berlin());
    ASSERT_TRUE(nodeScope.has_value());
    EXPECT_EQ(std::pair(nodeScope->parentNode, bounds(*nodeScope)), std::pair(*c.nodes.begin(), period));
  }
  EXPECT_FALSE(calculator.getCustomNodeReportScope(errands, berlin()) || calculator.getCustomNodeReportScope(nullptr, berlin()));
}

TEST_F(ScopeNodesTest, NodeScopeSelectsChildrenMinusExclusions) {
  struct Case {
    const char* name;
    NodeReportScope scope;
    std::set<ObjectID> expected;
  };
  const NodeReportScope root(berlin());
  const NodeReportScope ofWork(work, berlin());
  const Case cases[] = {
      {"folder, no exclusions: every task below", ofWork, ids({design, backend, frontend})},
      {"folder minus a child folder", ofWork.scopeByTogglingExcludedNode(dev), ids({design})},
      {"exclusion toggled back", ofWork.scopeByTogglingExcludedNode(dev).scopeByTogglingExcludedNode(dev),
       ids({design, backend, frontend})},
      {"only direct children are matched", ofWork.scopeByTogglingExcludedNode(backend),
       ids({design, backend, frontend})},
      {"top level, archived included", root, ids({design, backend, frontend, admin, top})},
      {"top level minus work", root.scopeByTogglingExcludedNode(work), ids({admin, top})},
      {"task parent", NodeReportScope(backend, berlin()), ids({backend})},
      {"task parent excluding itself", NodeReportScope(backend, berlin()).scopeByTogglingExcludedNode(backend), {}},
      {"empty folder", NodeReportScope(errands, berlin()), {}},
      {"exclusions dropped", root.scopeByTogglingExcludedNode(work).scopeWithoutExcludedNodes(),
       ids({design, backend, frontend, admin, top})},
      {"parent moved, exclusions kept",
       ofWork.scopeByTogglingExcludedNode(design).scopeByAdjustingParentNode(dev), ids({backend, frontend})},
  };
  for (const auto& c : cases) EXPECT_EQ(c.scope.toSessionQuery(*provider).taskIds, std::optional(c.expected)) << c.name;

  EXPECT_EQ(std::tuple(ofWork == NodeReportScope(work, berlin()), ofWork == root,
                       ofWork == ofWork.scopeByTogglingExcludedNode(dev),
                       ofWork.scopeByTogglingExcludedNode(dev) == ofWork.scopeByTogglingExcludedNode(dev)),
            std::tuple(true, false, false, true));
}

// Entries that do not run forward touch a period without adding time to it: one of no length
// at its start, ones stored with their end before their begin. Their tasks are still listed.
TEST_F(ScopeNodesTest, NodeBreakdownListsEntriesThatDoNotRunForward) {
  const Date march = berlinTime(2026, 3, 1);
  makeEntry(design, march, march);                                             // no length
  makeEntry(backend, berlinTime(2026, 3, 10), berlinTime(2026, 2, 20));        // ends before March
  makeEntry(frontend, berlinTime(2026, 4, 5, 9), berlinTime(2026, 3, 20, 9));  // begins after it
  makeEntry(top, berlinTime(2026, 3, 15, 9), berlinTime(2026, 3, 15, 10));     // forward, inside
  makeEntry(admin, berlinTime(2026, 1, 10, 9), berlinTime(2026, 1, 10, 10));   // forward, January
  save();
  // The tasks listed per month (the entry of no length ends where February ends), then the
  // count of top's node: only its forward entry counts.
  const std::pair<int, std::string> cases[] = {
      {1, "admin"}, {2, "backend design"}, {3, "backend design frontend top 1"}, {4, "frontend"}};
  ReportCalculator calculator(provider);
  for (const auto& [month, expected] : cases) {
    SessionQuery3 query;
    query.from = berlinTime(2026, month, 1), query.to = berlinTime(2026, month + 1, 1);
    const auto nodes = calculator.calculateNodeBreakdown(query, TotalValueTypeOptionSet::all);
    std::string listed;
    for (const auto& task : {admin, backend, design, frontend, top})
      if (nodes.contains(task->objectID())) listed += (listed.empty() ? "" : " ") + task->name();
    if (nodes.contains(top->objectID()))
      listed += " " + std::to_string(nodes.at(top->objectID()).sessionCount);
    EXPECT_EQ(listed, expected) << "month " << month;
  }
}

}  // namespace
}  // namespace chronelle::testing
