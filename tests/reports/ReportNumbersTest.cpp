// Totals, billing and node breakdowns and chart columns of real periods on a small store,
// compared with sums worked out by hand from the entries below (money in whole cents, half a
// cent rounded up, clipped entries priced by their part).

#include <gtest/gtest.h>

#include <cstdio>
#include <iomanip>
#include <sstream>

#include "ReportsFixture.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/list/SessionFetchedResultsController3.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle::testing {
namespace {

using Archive = SessionQuery3::ArchiveFilterOption;
using Billing = SessionQuery3::BillingStatusOption;
using Granularity = ReportChartGranularity;
using Type = ReportScopeType;
using Types = TotalValueTypeOptionSet;

// A wall-clock time in Europe/Berlin, "yyyy-MM-dd HH:mm:ss".
Date local(const char* text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::sscanf(text, "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second);
  return berlinTime(year, month, day, hour, minute, second);
}

// "duration s revenue nCount".
std::string render(const TotalValues& v) {
  std::ostringstream out;
  out << std::setprecision(15) << v.duration << " s " << v.revenue << " n" << v.sessionCount;
  return out.str();
}

// The tree of `makeTree` and entries that cross the year end, month ends, midnights and the
// clock change of 2026-03-29 (01:30 to 03:30 is one hour); some end or begin on a period's
// bound, one crosses a week's start by a second each way; a minute and a minute and a second on
// one day; two without a task; rates that meet half cents (18, 120.5) or are no binary
// fractions (19.99, 0.07); every billing state. One entry on design runs since 11:30 on the
// day of the clock change; it is 15:00.
class ReportNumbersTest : public ReportsFixture {
 protected:
  ReportNumbersTest() {
    makeTree();
    const std::map<std::string, std::shared_ptr<Task>> byName{
        {"design", design}, {"backend", backend}, {"frontend", frontend},
        {"admin", admin},   {"top", top},         {"", nullptr}};
    const struct {
      const char *task, *begin, *end;
      bool billable;
      double rate;
      int status;
    } entries[] = {
        {"design", "2025-12-31 23:00:00", "2026-01-01 01:00:00", true, 90, 1},
        {"backend", "2026-02-28 22:00:00", "2026-03-01 02:00:00", true, 18, 0},
        {"frontend", "2026-03-01 00:00:00", "2026-03-01 00:20:00", true, 120.5, 2},
        {"top", "2026-02-28 23:00:00", "2026-03-01 00:00:00", true, 19.99, 1},
        {"backend", "2026-03-15 09:00:00", "2026-03-17 18:00:00", true, 19.99, 0},
        {"admin", "2026-03-22 23:59:59", "2026-03-23 00:00:01", true, 18, 0},
        {"", "2026-03-25 09:00:00", "2026-03-25 11:00:00", true, 50, 0},
        {"design", "2026-03-27 13:00:00", "2026-03-27 14:00:00", true, 0.07, 0},
        {"top", "2026-03-28 10:00:00", "2026-03-28 10:01:00", true, 90, 2},
        {"design", "2026-03-28 11:00:00", "2026-03-28 11:01:01", true, 90, 2},
        {"backend", "2026-03-28 23:30:00", "2026-03-29 00:30:00", false, 50, 0},
        {"", "2026-03-28 23:00:00", "2026-03-29 04:00:00", false, 0, 0},
        {"frontend", "2026-03-29 01:30:00", "2026-03-29 03:30:00", true, 50, 0},
        {"admin", "2026-03-31 22:00:00", "2026-04-01 03:00:00", true, 120.5, 1},
        {"top", "2026-04-02 07:00:00", "2026-04-02 09:00:00", false, 90, 0},
    };
    for (const auto& e : entries)
      makeEntry(byName.at(e.task), local(e.begin), local(e.end), e.billable, e.rate, e.status);
    running = makeEntry(design, local("2026-03-29 11:30:00"), std::nullopt, true, 19.99);
    save();
    for (const auto& node : std::vector<std::shared_ptr<Node>>{work, dev, errands, design, backend,
                                                               frontend, admin, top}) {
      std::string path = node->name();
      for (auto parent = node->parent(); parent; parent = parent->parent())
        path = parent->name() + "/" + path;
      paths[node->objectID()] = path;
    }
  }

  ReportScope3 period(Type type, const char* reference) const {
    ReportScope3 scope(berlin());
    scope.type = type, scope.referenceDate = local(reference);
    return scope;
  }
  // Each node's values as " path values;" in path order.
  std::string renderNodes(const std::map<ObjectID, TotalValues>& byNode) const {
    std::map<std::string, TotalValues> byPath;
    for (const auto& [id, values] : byNode)
      byPath[paths.contains(id) ? paths.at(id) : "?"] = values;
    std::string text;
    for (const auto& [path, values] : byPath) text += " " + path + " " + render(values) + ";";
    return text;
  }
  // Totals with and without the running entry, per billing state, per node, per child of the
  // top level and of work/dev.
  std::string report(const SessionQuery3& query) const {
    ReportCalculator calculator(provider);
    const TotalValues totals = calculator.totalValuesForSessions(query, Types::all);
    std::ostringstream out;
    out << render(totals) << ", with running "
        << render(totals.byAddingUnconfirmedCurrentSession(query)) << "\nbilling";
    const auto billing = calculator.calculateBillingBreakdown(query, Types::all);
    for (const Billing state :
         {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid})
      out << (state == Billing::nonBillable ? " " : "; ") << render(billing.totalValues(state));
    out << "\nnodes" << renderNodes(calculator.calculateNodeBreakdown(query, Types::all))
        << "\nflat"
        << renderNodes(calculator.calculateFlatNodeBreakdown(query, nullptr, Types::all))
        << " in work/dev"
        << renderNodes(calculator.calculateFlatNodeBreakdown(query, dev, Types::all));
    return out.str();
  }
  // The number of columns, then each column with entries: its day, its count and its segments
  // in drawing order.
  std::string chart(const std::vector<SessionColumnData>& columns) const {
    std::ostringstream out;
    out << columns.size() << " columns";
    for (const auto& column : columns) {
      if (column.segments.empty()) continue;
      const DateComponents day = berlin().components(column.date);
      out << "\n" << *day.month << "/" << *day.day << " n" << column.sessionCount << ":";
      for (const auto& s : column.segments)
        out << (&s == &column.segments.front() ? " " : ", ") << s.taskName << " "
            << render({s.duration, s.revenue, s.sessionCount});
    }
    return out.str();
  }

  std::shared_ptr<Session> running;
  std::map<ObjectID, std::string> paths;  // "work/dev/backend", of every node
  const ReportScope3 week = period(Type::weekly, "2026-03-26 00:00:00");
  const ReportScope3 custom =
      week.customScope(DateInterval(local("2026-03-27 13:17:05"), local("2026-04-02 08:00:00")));
};

TEST_F(ReportNumbersTest, TotalsAndBreakdownsMatchHandSums) {
  // Without the timer the running entry cannot be added: a loud failure, never totals that
  // silently leave it out.
  EXPECT_DEATH((void)TotalValues::zero.byAddingUnconfirmedCurrentSession(SessionQuery3{}),
               "unregistered service chronelle::CHTimer");
  auto timer = std::make_shared<CHTimer>();
  Injector::sharedSyncedContainer().registerInstance<CHTimer>(timer);
  timer->assignCurrentSession(running);
  const struct {
    const char* name;
    ReportScope3 scope;
    const char* expected;
  } cases[] = {
      {"day of the clock change", period(Type::daily, "2026-03-29 12:00:00"),
       "16200 s 50 n3, with running 28800 s 119.97 n4\n"
       "billing 12600 s 0 n2; 3600 s 50 n1; 0 s 0 n0; 0 s 0 n0\n"
       "nodes work 5400 s 50 n2; work/design 0 s 0 n0; work/dev 5400 s 50 n2; "
       "work/dev/backend 1800 s 0 n1; work/dev/frontend 3600 s 50 n1;\n"
       "flat work 5400 s 50 n2; in work/dev work/dev/backend 1800 s 0 n1; "
       "work/dev/frontend 3600 s 50 n1;"},
      {"week of the clock change", week,
       "32522 s 153.11 n8, with running 45122 s 223.08 n9\n"
       "billing 18000 s 0 n2; 14401 s 150.08 n4; 0 s 0 n0; 121 s 3.03 n2\n"
       "nodes admin 1 s 0.01 n1; top 60 s 1.5 n1; work 10861 s 51.6 n4; "
       "work/design 3661 s 1.6 n2; work/dev 7200 s 50 n2; work/dev/backend 3600 s 0 n1; "
       "work/dev/frontend 3600 s 50 n1;"},
      {"March", period(Type::monthly, "2026-03-10 00:00:00"),
       "253323 s 1609.71 n12, with running 265923 s 1679.68 n13\n"
       "billing 18000 s 0 n2; 226802 s 1325.51 n6; 7200 s 241 n1; 1321 s 43.2 n3\n"
       "nodes admin 7202 s 241.01 n2; top 60 s 1.5 n1; work 224461 s 1267.2 n7; "
       "work/design 3661 s 1.6 n2; work/dev 220800 s 1265.6 n5; "
       "work/dev/backend 216000 s 1175.43 n3; work/dev/frontend 4800 s 90.17 n2;"},
      {"week, work folder", week.scopeByAdusting(NodeSet{work}),
       "10861 s 51.6 n4, with running 23461 s 121.57 n5\n"
       "billing 3600 s 0 n1; 7200 s 50.07 n2; 0 s 0 n0; 61 s 1.53 n1\n"
       "nodes work 10861 s 51.6 n4; work/design 3661 s 1.6 n2; work/dev 7200 s 50 n2; "
       "work/dev/backend 3600 s 0 n1; work/dev/frontend 3600 s 50 n1;\n"
       "flat admin 1 s 0.01 n1; top 60 s 1.5 n1; work 10861 s 51.6 n4; "
       "in work/dev work/dev/backend 3600 s 0 n1; work/dev/frontend 3600 s 50 n1;"},
      {"week, billed or non-billable",
       week.scopeByAdding(Billing::billed).scopeByAdding(Billing::nonBillable),
       "18000 s 0 n2, with running 18000 s 0 n2\n"
       "billing 18000 s 0 n2; 14401 s 150.08 n4; 0 s 0 n0; 121 s 3.03 n2\n"
       "nodes work 3600 s 0 n1; work/dev 3600 s 0 n1; work/dev/backend 3600 s 0 n1;\n"
       "flat work 3600 s 0 n1; in work/dev work/dev/backend 3600 s 0 n1;"},
      {"week, archived only", week.scopeByAdjusting(Archive::archivedOnly),
       "1 s 0.01 n1, with running 1 s 0.01 n1\n"
       "billing 0 s 0 n0; 1 s 0.01 n1; 0 s 0 n0; 0 s 0 n0\n"
       "nodes admin 1 s 0.01 n1;"},
  };
  ReportCalculator calculator(provider);
  for (const auto& c : cases) {
    const SessionQuery3 query = c.scope.toSessionQuery();
    std::string text = report(query);
    const bool flat = std::string(c.expected).find("\nflat") != std::string::npos;
    if (!flat) text.erase(text.find("\nflat"));
    EXPECT_EQ(text, c.expected) << c.name;
    // Fields not asked for stay zero; the entry given or the timer's count alike; the tracked
    // nodes are those of the node breakdown.
    const TotalValues all = calculator.totalValuesForSessions(query, Types::all);
    EXPECT_EQ(
        std::tuple(calculator.totalValuesForSessions(query, Types::duration),
                   calculator.totalValuesForSessions(query, Types::revenue | Types::sessionCount),
                   all.byAddingUnconfirmedSession(running.get(), query)),
        std::tuple(TotalValues{all.duration, 0, 0}, TotalValues{0, all.revenue, all.sessionCount},
                   all.byAddingUnconfirmedCurrentSession(query)))
        << c.name;
    std::map<ObjectID, TotalValues> tracked,
        nodes = calculator.calculateNodeBreakdown(query, Types::all);
    for (const auto& node : calculator.trackedNodes(query)) tracked[node->objectID()];
    for (auto& [id, values] : nodes) values = TotalValues::zero;
    EXPECT_EQ(tracked, nodes) << c.name;
  }

  // The running entry's money (3.5 h at 19.99: 69.965, half a cent up) is the same on every
  // path: the entry, its part in the day list, and the report and chart columns above.
  const SessionQuery3 today = cases[0].scope.toSessionQuery();
  Injector::sharedSyncedContainer().registerInstance<MainDataProvider>(
      std::make_shared<MainDataProvider>());
  SessionFetchedResultsController3 list(today, berlin());
  list.performFetch();
  EXPECT_EQ(std::pair(running->effectiveRevenue(), list.fragments(*running).at(0)->revenue()),
            std::pair(69.97, 69.97));
  // So are the sums over every loaded entry clipped to the day: confirmed ones leave the
  // running entry out, effective ones measure it up to now; an entry not given a begin yet
  // counts for nothing.
  auto entries = provider->getSessions(std::nullopt);
  entries.push_back(context().insert<Session>(Session::kEntityName));
  EXPECT_EQ(std::tuple(ReportCalculator::totalConfirmedDuration(entries, today.from, today.to),
                       ReportCalculator::totalConfirmedRevenue(entries, today.from, today.to),
                       ReportCalculator::totalEffectiveDuration(entries, today.from, today.to),
                       ReportCalculator::totalEffectiveRevenue(entries, today.from, today.to)),
            std::tuple(16200.0, 50.0, 28800.0, 119.97));

  // Not added once confirmed, nor when the timer has no entry.
  EXPECT_NE(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
  running->setConfirmedDuration(1);
  EXPECT_EQ(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
  running->setConfirmedDuration(0);
  timer->assignCurrentSession(nullptr);
  EXPECT_EQ(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
}

TEST_F(ReportNumbersTest, ChartColumnsMatchHandSums) {
  const struct {
    const char* name;
    ReportScope3 scope;
    Granularity granularity;
    bool filterSmall;
    std::shared_ptr<Session> running;
    const char* expected;
  } cases[] = {
      {"week", week, Granularity::daily, false, nullptr,
       "7 columns\n"
       "3/23 n1: admin 1 s 0.01 n1\n"
       "3/27 n1: design 3600 s 0.07 n1\n"
       "3/28 n3: backend 1800 s 0 n1, design 61 s 1.53 n1, top 60 s 1.5 n1\n"
       "3/29 n2: backend 1800 s 0 n1, frontend 3600 s 50 n1"},
      {"week, small groups out, running entry in", week, Granularity::daily, true, running,
       "7 columns\n"
       "3/27 n1: design 3600 s 0.07 n1\n"
       "3/28 n2: backend 1800 s 0 n1, design 61 s 1.53 n1\n"
       "3/29 n3: backend 1800 s 0 n1, frontend 3600 s 50 n1, design 12600 s 69.97 n1"},
      {"week, work folder, paid", week.scopeByAdusting(NodeSet{work}).scopeByAdding(Billing::paid),
       Granularity::daily, false, nullptr, "7 columns\n3/28 n1: design 61 s 1.53 n1"},
      {"custom", custom, Granularity::daily, false, nullptr,
       "7 columns\n"
       "3/27 n1: design 2575 s 0.05 n1\n"
       "3/28 n3: backend 1800 s 0 n1, design 61 s 1.53 n1, top 60 s 1.5 n1\n"
       "3/29 n2: backend 1800 s 0 n1, frontend 3600 s 50 n1\n"
       "3/31 n1: admin 7200 s 241 n1\n"
       "4/1 n1: admin 10800 s 361.5 n1\n"
       "4/2 n1: top 3600 s 0 n1"},
      {"March", period(Type::monthly, "2026-03-10 00:00:00"), Granularity::daily, false, nullptr,
       "31 columns\n"
       "3/1 n2: backend 7200 s 36 n1, frontend 1200 s 40.17 n1\n"
       "3/15 n1: backend 54000 s 299.85 n1\n"
       "3/16 n1: backend 86400 s 479.76 n1\n"
       "3/17 n1: backend 64800 s 359.82 n1\n"
       "3/22 n1: admin 1 s 0.01 n1\n"
       "3/23 n1: admin 1 s 0.01 n1\n"
       "3/27 n1: design 3600 s 0.07 n1\n"
       "3/28 n3: backend 1800 s 0 n1, design 61 s 1.53 n1, top 60 s 1.5 n1\n"
       "3/29 n2: backend 1800 s 0 n1, frontend 3600 s 50 n1\n"
       "3/31 n1: admin 7200 s 241 n1"},
      {"2026 by month", period(Type::yearly, "2026-06-01 00:00:00"), Granularity::monthly, false,
       nullptr,
       "12 columns\n"
       "1/1 n1: design 3600 s 90 n1\n"
       "2/1 n2: backend 7200 s 36 n1, top 3600 s 19.99 n1\n"
       "3/1 n10: backend 216000 s 1175.43 n3, frontend 4800 s 90.17 n2, design 3661 s 1.6 n2, "
       "admin 7202 s 241.01 n2, top 60 s 1.5 n1\n"
       "4/1 n2: admin 10800 s 361.5 n1, top 7200 s 0 n1"},
  };
  for (const auto& c : cases) {
    const SessionQuery3 query = c.scope.toSessionQuery();
    const auto columns = [&](TimeEntriesChartDataCalculator& calculator) {
      return chart(
          calculator.calculateValuesForBarChart(query, c.granularity, c.filterSmall, c.running));
    };
    TimeEntriesChartDataCalculator calculator(provider);
    const auto shown =
        calculator.calculateValuesForBarChart(query, c.granularity, c.filterSmall, c.running);
    EXPECT_EQ(chart(shown), c.expected) << c.name;

    // With anything unsaved in the context, entries crossing a bound are read as objects
    // (which would show unsaved edits) instead of rows: the numbers must be the same.
    auto unsaved = context().insert<Task>(Task::kEntityName);
    TimeEntriesChartDataCalculator fresh(provider);
    EXPECT_EQ(columns(fresh), c.expected) << c.name << ", with unsaved changes";
    context().deleteObject(unsaved);
    // A column cached before is kept; the columns around it are read in one range query.
    TimeEntriesChartDataCalculator partly(provider);
    SessionQuery3 second = query;
    second.from = shown.at(1).date, second.to = shown.at(2).date;
    partly.calculateColumnData(second, c.filterSmall, nullptr);
    EXPECT_EQ(columns(partly), c.expected) << c.name << ", partly cached";
  }

  // Nothing for a query without both bounds or with from not before to.
  TimeEntriesChartDataCalculator calculator(provider);
  SessionQuery3 open = week.toSessionQuery(), reversed = open;
  open.to.reset(), reversed.to = reversed.from;
  for (const auto& query : {open, reversed})
    EXPECT_TRUE(
        calculator.calculateValuesForBarChart(query, Granularity::daily, false, nullptr).empty());
  const auto loose = calculator.calculateColumnData(open, false, nullptr);
  EXPECT_EQ(std::pair(loose.date, loose.segments.empty()), std::pair(time.now(), true));
}

}  // namespace
}  // namespace chronelle::testing
