// Totals, billing and node breakdowns and chart columns of real periods, checked against sums
// computed by hand from the entries the store was filled with.

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <sstream>

#include "ReportsFixture.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle::testing {
namespace {

using Billing = SessionQuery3::BillingStatusOption;
using Types = TotalValueTypeOptionSet;

class ReportNumbersTest : public ReportNumbersFixture {
 protected:
  // Expected node breakdown: each tracked task, and every folder above one as the sum of
  // its tracked tasks.
  std::map<ObjectID, TotalValues> expectedNodes(std::int64_t from, std::int64_t to,
                                                const ReportDataSet::Filter& filter) const {
    const auto byTask = data.totalsByTask(from, to, filter);
    std::map<ObjectID, TotalValues> result;
    for (const int task : data.trackedTasks(from, to, filter)) {
      const auto it = byTask.find(task);
      const TotalValues values = it == byTask.end() ? TotalValues::zero : it->second;
      result[tasks[static_cast<std::size_t>(task)]->objectID()] = values;
      for (const auto& folder : folderIDs(task)) result[folder] += values;
    }
    return result;
  }
};

TEST_F(ReportNumbersTest, TotalsAndBreakdownsMatchHandSums) {
  // The application's timer, showing the running entry.
  auto timer = std::make_shared<CHTimer>();
  Injector::sharedSyncedContainer().registerInstance<CHTimer>(timer);
  timer->assignCurrentSession(running);
  ReportCalculator calculator(provider);
  const Session& runningEntry = *running;

  int casesWithTime = 0;
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    const SessionQuery3 query = c.scope.toSessionQuery();
    const std::int64_t from = seconds(c.scope.fromDate());
    const std::int64_t to = seconds(c.scope.toDate());
    const TotalValues expected = data.totals(from, to, c.filter);
    if (expected.sessionCount > 0) ++casesWithTime;

    EXPECT_EQ(calculator.totalValuesForSessions(query, Types::all), expected) << "totals";
    // Fields not asked for stay zero.
    EXPECT_EQ(calculator.totalValuesForSessions(query, Types::duration), (TotalValues{expected.duration, 0, 0}));
    EXPECT_EQ(calculator.totalValuesForSessions(query, Types::revenue | Types::sessionCount),
              (TotalValues{0, expected.revenue, expected.sessionCount}));

    // The running entry joins with its part inside the period, measured up to now.
    TotalValues withRunning = expected;
    if (data.runningCounts(from, to, c.filter)) {
      const auto& entry = data.entries[static_cast<std::size_t>(data.runningIndex)];
      const std::int64_t part = std::min(data.now, to) - std::max(entry.begin, from);
      withRunning.duration += static_cast<double>(part);
      withRunning.revenue =
          static_cast<double>(std::llround(expected.revenue * 100) + ReportDataSet::moneyCents(entry, part)) / 100.0;
      withRunning.sessionCount += 1;
    }
    EXPECT_EQ(expected.byAddingUnconfirmedCurrentSession(query), withRunning) << "with the running entry";
    EXPECT_EQ(expected.byAddingUnconfirmedSession(&runningEntry, query), withRunning) << "given the entry";

    // Per billing state, the query's own billing filter replaced.
    const auto billing = calculator.calculateBillingBreakdown(query, Types::all);
    for (const Billing status : {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid}) {
      ReportDataSet::Filter single = c.filter;
      single.billing = std::set<Billing>{status};
      EXPECT_EQ(billing.totalValues(status), data.totals(from, to, single)) << "billing state " << int(status);
    }
    EXPECT_EQ(billing.nonBillable.revenue, 0);

    // Per node: tracked tasks and the folders above them.
    const auto expectedByNode = expectedNodes(from, to, c.filter);
    EXPECT_EQ(calculator.calculateNodeBreakdown(query, Types::all), expectedByNode);
    // Tracked nodes: the same tasks and their folders.
    std::set<ObjectID> trackedIds, expectedIds;
    for (const auto& node : calculator.trackedNodes(query)) trackedIds.insert(node->objectID());
    for (const auto& entry : expectedByNode) expectedIds.insert(entry.first);
    EXPECT_EQ(trackedIds, expectedIds);
  }
  EXPECT_GE(casesWithTime, 30) << "the cases must mostly see time";

  // Not added once confirmed, nor when the timer has no entry.
  const SessionQuery3 today = cases().front().scope.toSessionQuery();
  EXPECT_NE(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
  running->setConfirmedDuration(1);
  EXPECT_EQ(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
  running->setConfirmedDuration(0);
  timer->assignCurrentSession(nullptr);
  EXPECT_EQ(TotalValues::zero.byAddingUnconfirmedCurrentSession(today), TotalValues::zero);
}

// Without the timer the running entry cannot be added: a loud failure, never totals that
// silently leave it out.
TEST_F(ReportNumbersTest, RunningEntryNeedsTheRegisteredTimer) {
  EXPECT_DEATH((void)TotalValues::zero.byAddingUnconfirmedCurrentSession(SessionQuery3{}),
               "unregistered service chronelle::CHTimer");
}

TEST_F(ReportNumbersTest, FlatBreakdownReplacesTheTaskFilter) {
  ReportCalculator calculator(provider);
  for (const auto& c : cases()) {
    SCOPED_TRACE(c.name);
    // The totals of each child with time, from the tasks below it.
    const auto expected = [&](std::vector<std::pair<ObjectID, std::set<int>>> children) {
      std::map<ObjectID, TotalValues> result;
      for (auto& [id, below] : children) {
        ReportDataSet::Filter filter = c.filter;
        filter.tasks = below;
        const TotalValues values = data.totals(seconds(c.scope.fromDate()), seconds(c.scope.toDate()), filter);
        if (values.sessionCount > 0) result[id] = values;
      }
      return result;
    };
    const SessionQuery3 query = c.scope.toSessionQuery();
    EXPECT_EQ(calculator.calculateFlatNodeBreakdown(query, nullptr, Types::all),
              expected({{folders.at("work")->objectID(), {0, 1, 2}}, {folders.at("ops")->objectID(), {3, 4}},
                        {tasks[5]->objectID(), {5}}, {folders.at("old")->objectID(), {6}}}));
    // Inside a folder: its direct children only.
    EXPECT_EQ(calculator.calculateFlatNodeBreakdown(query, folders.at("work/dev"), Types::all),
              expected({{tasks[1]->objectID(), {1}}, {tasks[2]->objectID(), {2}}}));
  }
}

// The start of the local day (month) after the one holding `start`, from the calendar's
// broken-down fields rather than the date helper.
Date nextStart(Date start, ReportChartGranularity granularity) {
  const Calendar calendar("Europe/Berlin");
  DateComponents fields = calendar.components(start);
  DateComponents next;
  next.year = fields.year;
  next.month = granularity == ReportChartGranularity::daily ? fields.month : *fields.month + 1;
  next.day = granularity == ReportChartGranularity::daily ? *fields.day + 1 : 1;
  return *calendar.date(next);
}

class ChartNumbersTest : public ReportNumbersFixture {
 protected:
  // One line per column: its date and entry count, then per segment in task order the task's
  // name (* when archived), duration, revenue in hundredths of a cent and entry count.
  static void renderSegment(std::ostream& out, const std::string& name, bool archived, const TotalValues& v) {
    out << " " << name << (archived ? "*" : "") << " " << v.duration << " " << std::llround(v.revenue * 1e4) << " "
        << v.sessionCount;
  }
  std::string render(const std::vector<SessionColumnData>& columns) const {
    std::ostringstream out;
    out << std::setprecision(15);
    for (const auto& column : columns) {
      out << column.date.isoString() << " n" << column.sessionCount << ":";
      std::multimap<int, const SessionColumnSegment*> byTask;
      for (const auto& s : column.segments) byTask.emplace(taskIndex(*ObjectID::fromURI(s.taskId.absoluteString())), &s);
      for (const auto& [task, s] : byTask)
        renderSegment(out, s->taskName, s->taskIsArchived, {s->duration, s->revenue, s->sessionCount});
      out << "\n";
    }
    return out.str();
  }
  // The same from the data set, with columns from the calendar's broken-down fields.
  std::string expected(const Case& c, ReportChartGranularity granularity, bool filterSmall, bool withRunning) const {
    std::ostringstream out;
    out << std::setprecision(15);
    for (Date start = c.scope.fromDate(); start < c.scope.toDate();) {
      const Date end = std::min(nextStart(start, granularity), c.scope.toDate());
      const std::int64_t s = seconds(start), e = seconds(end);
      std::map<int, TotalValues> segments;
      for (const auto& [task, values] : data.totalsByTask(s, e, c.filter))
        if (task >= 0 && !(filterSmall && values.duration <= 60)) segments[task] = values;
      if (withRunning && data.runningCounts(s, e, c.filter)) {
        const auto& entry = data.entries[static_cast<std::size_t>(data.runningIndex)];
        const std::int64_t part = std::min(data.now, e) - std::max(entry.begin, s);
        segments[entry.task] += TotalValues{static_cast<double>(part), ReportDataSet::money(entry, part), 1};
      }
      std::int64_t count = 0;
      for (const auto& [task, values] : segments) count += values.sessionCount;
      out << start.isoString() << " n" << count << ":";
      for (const auto& [task, values] : segments) {
        const auto& info = data.tasks[static_cast<std::size_t>(task)];
        renderSegment(out, info.name, info.archived, values);
      }
      out << "\n";
      start = end;
    }
    return out.str();
  }

  // Tasks of one folder stand together and a folder's group never comes back.
  void expectTreeOrder(const std::vector<SessionColumnData>& columns) const {
    for (const auto& column : columns) {
      std::set<std::string> closed;
      std::optional<std::string> previous;
      for (const auto& segment : column.segments) {
        std::string path;
        for (const auto& folder : data.tasks[static_cast<std::size_t>(
                 taskIndex(*ObjectID::fromURI(segment.taskId.absoluteString())))].folders)
          path += folder + "/";
        if (previous && path != *previous) closed.insert(*previous);
        EXPECT_FALSE(closed.contains(path)) << "folder group " << path << " split";
        previous = path;
      }
    }
  }
};

TEST_F(ChartNumbersTest, ColumnsMatchHandSums) {
  int columnsChecked = 0;
  for (const auto& c : cases()) {
    if (c.scope.type == ReportScopeType::daily) continue;
    SCOPED_TRACE(c.name);
    const auto granularity =
        c.scope.type == ReportScopeType::yearly ? ReportChartGranularity::monthly : ReportChartGranularity::daily;
    const SessionQuery3 query = c.scope.toSessionQuery();
    TimeEntriesChartDataCalculator calculator(provider);
    const std::string plain = expected(c, granularity, false, false);
    const auto columns = calculator.calculateValuesForBarChart(query, granularity, false, nullptr);
    EXPECT_EQ(render(columns), plain);
    expectTreeOrder(columns);
    columnsChecked += static_cast<int>(columns.size());

    // With anything unsaved in the context, entries crossing a bound are read as objects
    // (which would show unsaved edits) instead of rows: the numbers must be the same.
    auto unsaved = context().insert<Task>(Task::kEntityName);
    EXPECT_EQ(render(TimeEntriesChartDataCalculator(provider).calculateValuesForBarChart(query, granularity, false, nullptr)),
              plain) << "with unsaved changes";
    context().deleteObject(unsaved);

    // A column cached before is kept; the columns around it are read in one range query.
    TimeEntriesChartDataCalculator partly(provider);
    SessionQuery3 second = query;
    second.from = columns.at(1).date;
    second.to = columns.at(2).date;
    partly.calculateColumnData(second, false, nullptr);
    EXPECT_EQ(render(partly.calculateValuesForBarChart(query, granularity, false, nullptr)), plain) << "partly cached";

    // Small groups out, the running entry in.
    EXPECT_EQ(render(calculator.calculateValuesForBarChart(query, granularity, true, running)),
              expected(c, granularity, true, true));
  }
  EXPECT_GT(columnsChecked, 150);
}

// Nothing for a query without both bounds or with from not before to.
TEST_F(ChartNumbersTest, NoColumnsWithoutAPeriod) {
  TimeEntriesChartDataCalculator calculator(provider);
  ReportScope3 week(berlin());
  week.type = ReportScopeType::weekly;
  SessionQuery3 open = week.toSessionQuery();
  open.to.reset();
  EXPECT_TRUE(calculator.calculateValuesForBarChart(open, ReportChartGranularity::daily, false, nullptr).empty());
  SessionQuery3 reversed = week.toSessionQuery();
  reversed.to = reversed.from;
  EXPECT_TRUE(calculator.calculateValuesForBarChart(reversed, ReportChartGranularity::daily, false, nullptr).empty());
  const auto loose = calculator.calculateColumnData(open, false, nullptr);
  EXPECT_EQ(loose.date, time.now());
  EXPECT_TRUE(loose.segments.empty());
}

}  // namespace
}  // namespace chronelle::testing
