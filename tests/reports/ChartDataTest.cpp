// Chart columns on a small store: the running entry on cached columns, the average, a task
// met again in a column, the encoded form.

#include <gtest/gtest.h>

#include <iomanip>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ReportsFixture.h"
#include "chronelle/reports/CachedSessionColumnData.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"

namespace chronelle::testing {
namespace {

class ChartDataTest : public ReportsFixture {
 protected:
  ChartDataTest() { makeTree(); }

  static SessionQuery3 days(int firstDay, int lastDay) {
    SessionQuery3 query;
    query.from = berlinTime(2026, 3, firstDay);
    query.to = berlinTime(2026, 3, lastDay, 23, 59, 59);
    return query;
  }
  // "count: name duration revenue count, ..." per column, columns joined by " | ".
  static std::string render(const std::vector<SessionColumnData>& columns) {
    std::ostringstream out;
    out << std::setprecision(15);
    for (const auto& column : columns) {
      out << (&column == &columns.front() ? "" : " | ") << column.sessionCount << ":";
      for (const auto& s : column.segments)
        out << (&s == &column.segments.front() ? " " : ", ") << s.taskName << " " << s.duration
            << " " << s.revenue << " " << s.sessionCount;
    }
    return out.str();
  }
};

TEST_F(ChartDataTest, RunningEntryIsAddedAfreshToCachedColumns) {
  makeEntry(design, berlinTime(2026, 3, 29, 9), berlinTime(2026, 3, 29, 10), true, 90);
  makeEntry(top, berlinTime(2026, 3, 28, 9), berlinTime(2026, 3, 28, 10), true, 90);
  auto running = makeEntry(top, berlinTime(2026, 3, 29, 14, 59, 30), std::nullopt, false, 90);
  save();
  TimeEntriesChartDataCalculator calculator(provider);
  const auto chart = [&](bool filterSmall) {
    return render(calculator.calculateValuesForBarChart(days(28, 29), ReportChartGranularity::daily,
                                                        filterSmall, running));
  };
  // 30 s of running time: too small to show while small groups are filtered out.
  EXPECT_EQ(chart(true), "1: top 3600 90 1 | 1: design 3600 90 1");
  EXPECT_EQ(chart(false), "1: top 3600 90 1 | 2: design 3600 90 1, top 30 0 1");

  // Later: the cached column gains the running entry's current length, without a fetch.
  // Its task had no segment in that column: it is appended last. Non-billable: no money.
  time.advance(600);
  const std::size_t fetchesBefore = context().storeFetchCount();
  EXPECT_EQ(chart(true), "1: top 3600 90 1 | 2: design 3600 90 1, top 630 0 1");
  EXPECT_EQ(context().storeFetchCount(), fetchesBefore);
  // The cache holds the columns without it.
  for (const auto& [key, column] : calculator.chartDataCache())
    EXPECT_EQ(column.totalDuration(), 3600) << key;

  // A billable running entry of a task with a segment adds to that segment in place.
  running->setTask(design);
  running->setIsBillable(true);
  EXPECT_EQ(chart(true), "1: top 3600 90 1 | 2: design 4230 105.75 2");

  // A day later it crosses into the next day's column, which shows it only when given it.
  time.set(berlinTime(2026, 3, 30, 10));
  EXPECT_EQ(calculator.calculateColumnData(days(30, 30), false, nullptr).sessionCount, 0);
  EXPECT_EQ(calculator.calculateColumnData(days(30, 30), false, running).sessionCount, 1);

  // The average counts the columns with entries only.
  std::vector<SessionColumnData> columns(3);
  columns[0].segments.resize(2), columns[2].segments.resize(1);
  columns[0].segments[0].duration = columns[0].segments[1].duration = 3600;
  columns[2].segments[0].duration = 4 * 3600;
  columns[0].sessionCount = 2, columns[2].sessionCount = 1;
  EXPECT_EQ(TimeEntriesChartDataCalculator::avgDurationInSessionColumns(columns), 3 * 3600);
  EXPECT_EQ(TimeEntriesChartDataCalculator::avgDurationInSessionColumns({columns[1]}), 0);
  EXPECT_EQ(TimeEntriesChartDataCalculator::avgDurationInSessionColumns({}), 0);
}

// A task's entry crossing midnight and a later one of the same task ending before it: the
// day's part of both lands in one segment, as the column-by-column reading has it.
TEST_F(ChartDataTest, ATaskMetAgainInADayAfterCrossingMidnightKeepsOneSegment) {
  makeEntry(design, berlinTime(2026, 3, 28, 23), berlinTime(2026, 3, 29, 1), true, 90);
  makeEntry(backend, berlinTime(2026, 3, 28, 23, 10), berlinTime(2026, 3, 28, 23, 20), true, 90);
  makeEntry(design, berlinTime(2026, 3, 28, 23, 30), berlinTime(2026, 3, 28, 23, 45), true, 90);
  save();
  const std::string expected = "3: backend 600 15 1, design 4500 112.5 2 | 1: design 3600 90 1";
  TimeEntriesChartDataCalculator calculator(provider);
  EXPECT_EQ(render(calculator.calculateValuesForBarChart(days(28, 29), ReportChartGranularity::daily, false, nullptr)),
            expected);
  SessionQuery3 first = days(28, 29), second = first;
  first.to = second.from = berlinTime(2026, 3, 29);
  TimeEntriesChartDataCalculator byColumn(provider);
  EXPECT_EQ(render({byColumn.calculateColumnData(first, false, nullptr),
                    byColumn.calculateColumnData(second, false, nullptr)}),
            expected);
}

TEST_F(ChartDataTest, EncodedFormRoundTripsAndRejectsGaps) {
  save();
  SessionColumnSegment nested(*design);
  nested.duration = 5400.5;
  nested.revenue = 12.25;
  nested.sessionCount = 3;
  SessionColumnSegment plain(*top);
  EXPECT_EQ(std::pair(nested.taskParentName, plain.taskParentName),
            std::pair(std::optional<std::string>("work"), std::optional<std::string>()));
  EXPECT_EQ(plain.color, top->color().resolved(Appearance::light));

  SessionColumnData column(berlinTime(2026, 3, 29) + 0.25);
  column.segments = {nested, plain};
  column.calculateSessionCount();
  nlohmann::ordered_json json = column;

  // Keys in their order; no parent name key without a parent.
  std::string keys;
  for (const auto& segment : json["segments"])
    for (const auto& item : segment.items()) keys += item.key() + " ";
  const std::string segmentKeys =
      "color taskIsArchived taskIsBillable duration revenue sessionCount ";
  EXPECT_EQ(keys, "taskId taskName taskParentNameIsSet taskParentName " + segmentKeys +
                      "taskId taskName taskParentNameIsSet " + segmentKeys);
  EXPECT_FALSE(json["segments"][1]["taskParentNameIsSet"].get<bool>());

  const auto decoded = nlohmann::json::parse(json.dump()).get<SessionColumnData>();
  SessionColumnData expected = column;
  for (auto& segment : expected.segments) segment.color.colorSpace = ColorSpace::sRGB;  // read back
  EXPECT_EQ(decoded, expected);
  EXPECT_EQ(CachedSessionColumnData(decoded).data.sessionCount, 3);

  // Any missing key (null here) or value of another kind fails the whole record.
  const std::pair<const char*, nlohmann::json> damages[] = {
      {"/date", nullptr},
      {"/sessionCount", "3"},
      {"/segments/0/sessionCount", 1.5},
      {"/segments/0/taskParentName", nullptr},  // though marked set
      {"/segments/1/taskIsBillable", 1},
      {"/segments/1/duration", true},
      {"/segments/1/taskId", "not a url"}};
  for (const auto& [where, value] : damages) {
    nlohmann::json damaged = nlohmann::json::parse(json.dump());
    const nlohmann::json::json_pointer at(where);
    value.is_null() ? void(damaged[at.parent_pointer()].erase(at.back()))
                    : void(damaged[at] = value);
    EXPECT_THROW(damaged.get<SessionColumnData>(), nlohmann::json::exception) << where;
  }
  // A parent name that is present but not marked set is ignored.
  nlohmann::json extra = nlohmann::json::parse(json.dump());
  extra["segments"][1]["taskParentName"] = "ignored";
  EXPECT_FALSE(extra.get<SessionColumnData>().segments[1].taskParentName.has_value());
}

}  // namespace
}  // namespace chronelle::testing
