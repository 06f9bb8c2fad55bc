// Chart columns of real periods, checked against sums computed by hand from the entries.

#include <gtest/gtest.h>

#include "ReportNumbersFixture.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"

namespace chronelle::testing {
namespace {

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
  struct Expected {
    Date date;
    std::map<int, TotalValues> segments;  // by task index
  };

  std::vector<Expected> expectedColumns(Date from, Date to, ReportChartGranularity granularity,
                                        const ReportDataSet::Filter& filter, bool filterSmall,
                                        bool withRunning) const {
    std::vector<Expected> columns;
    for (Date start = from; start < to;) {
      const Date end = std::min(nextStart(start, granularity), to);
      const std::int64_t s = seconds(start);
      const std::int64_t e = seconds(end);
      Expected column{start, {}};
      for (const auto& [task, values] : data.totalsByTask(s, e, filter)) {
        if (task < 0 || (filterSmall && values.duration <= 60)) continue;
        column.segments[task] = values;
      }
      if (withRunning && data.runningCounts(s, e, filter)) {
        const auto& entry = data.entries[static_cast<std::size_t>(data.runningIndex)];
        const std::int64_t part = std::min(data.now, e) - std::max(entry.begin, s);
        TotalValues& values = column.segments[entry.task];
        values.duration += static_cast<double>(part);
        values.revenue += ReportDataSet::money(entry, part);
        values.sessionCount += 1;
      }
      columns.push_back(column);
      start = end;
    }
    return columns;
  }

  void compare(const std::vector<SessionColumnData>& actual, const std::vector<Expected>& expected) const {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
      SCOPED_TRACE("column " + std::to_string(i) + " at " + expected[i].date.isoString());
      EXPECT_EQ(actual[i].date, expected[i].date);
      std::int64_t count = 0;
      std::map<int, const SessionColumnSegment*> byTask;
      for (const auto& segment : actual[i].segments) {
        const auto id = ObjectID::fromURI(segment.taskId.absoluteString());
        ASSERT_TRUE(id.has_value());
        const int task = taskIndex(*id);
        ASSERT_GE(task, 0);
        EXPECT_TRUE(byTask.emplace(task, &segment).second) << "one segment per task";
        EXPECT_EQ(segment.taskName, data.tasks[static_cast<std::size_t>(task)].name);
        EXPECT_EQ(segment.taskIsArchived, data.tasks[static_cast<std::size_t>(task)].archived);
        count += segment.sessionCount;
      }
      EXPECT_EQ(actual[i].sessionCount, count);
      ASSERT_EQ(byTask.size(), expected[i].segments.size());
      for (const auto& [task, values] : expected[i].segments) {
        ASSERT_TRUE(byTask.contains(task)) << data.tasks[static_cast<std::size_t>(task)].name;
        const SessionColumnSegment& segment = *byTask.at(task);
        EXPECT_EQ(segment.duration, values.duration) << segment.taskName;
        EXPECT_NEAR(segment.revenue, values.revenue, 1e-6) << segment.taskName;
        EXPECT_EQ(segment.sessionCount, values.sessionCount) << segment.taskName;
      }
    }
  }

  // Tasks of one folder stand together and a folder's group never comes back.
  void expectTreeOrder(const std::vector<SessionColumnData>& columns) const {
    for (const auto& column : columns) {
      std::vector<std::string> paths;
      for (const auto& segment : column.segments) {
        const int task = taskIndex(*ObjectID::fromURI(segment.taskId.absoluteString()));
        std::string path;
        for (const auto& folder : data.tasks[static_cast<std::size_t>(task)].folders) path += folder + "/";
        paths.push_back(path);
      }
      std::set<std::string> closed;
      for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_FALSE(closed.contains(paths[i])) << "folder group " << paths[i] << " split";
        if (i + 1 < paths.size() && paths[i + 1] != paths[i]) closed.insert(paths[i]);
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

    const auto plain = calculator.calculateValuesForBarChart(query, granularity, false, nullptr);
    compare(plain, expectedColumns(c.scope.fromDate(), c.scope.toDate(), granularity, c.filter, false, false));
    expectTreeOrder(plain);
    columnsChecked += static_cast<int>(plain.size());

    // With anything unsaved in the context, entries crossing a bound are read as objects
    // (which would show unsaved edits) instead of rows: the numbers must be the same.
    auto unsaved = context().insert<Task>(Task::kEntityName);
    ASSERT_TRUE(context().hasChanges());
    TimeEntriesChartDataCalculator withChanges(provider);
    compare(withChanges.calculateValuesForBarChart(query, granularity, false, nullptr),
            expectedColumns(c.scope.fromDate(), c.scope.toDate(), granularity, c.filter, false, false));
    context().deleteObject(unsaved);

    // A column cached before is kept; the columns around it are read in one range query.
    if (plain.size() > 2) {
      TimeEntriesChartDataCalculator partly(provider);
      SessionQuery3 second = query;
      second.from = plain[1].date;
      second.to = plain[2].date;
      partly.calculateColumnData(second, false, nullptr);
      compare(partly.calculateValuesForBarChart(query, granularity, false, nullptr),
              expectedColumns(c.scope.fromDate(), c.scope.toDate(), granularity, c.filter, false, false));
    }

    // Small groups out, the running entry in.
    const auto filtered = calculator.calculateValuesForBarChart(query, granularity, true, running);
    compare(filtered, expectedColumns(c.scope.fromDate(), c.scope.toDate(), granularity, c.filter, true, true));
  }
  EXPECT_GT(columnsChecked, 150);
}

TEST_F(ChartNumbersTest, ColumnsFollowLocalDaysAndMonths) {
  TimeEntriesChartDataCalculator calculator(provider);
  ReportScope3 week(berlin());
  week.type = ReportScopeType::weekly;
  week.referenceDate = berlinTime(2026, 3, 25);
  const auto days = calculator.calculateValuesForBarChart(week.toSessionQuery(), ReportChartGranularity::daily,
                                                          false, nullptr);
  ASSERT_EQ(days.size(), 7u);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(days[static_cast<std::size_t>(i)].date, berlinTime(2026, 3, 23 + i)) << i;

  ReportScope3 year = week.scopeByAdjusting(ReportScopeType::yearly);
  const auto months = calculator.calculateValuesForBarChart(year.toSessionQuery(), ReportChartGranularity::monthly,
                                                            false, nullptr);
  ASSERT_EQ(months.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(months[static_cast<std::size_t>(i)].date, berlinTime(2026, 1 + i, 1)) << i;

  // Nothing for a query without both bounds or with from not before to.
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
