// Chart columns on small stores: the running entry on cached columns, the average, and the
// encoded form. Column bounds and sums over real periods are checked in ChartNumbersTest.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ReportsFixture.h"
#include "chronelle/reports/CachedSessionColumnData.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"

namespace chronelle::testing {
namespace {

class ChartDataTest : public ReportsFixture {
 protected:
  ChartDataTest() { makeTree(); }

  SessionQuery3 days(int firstDay, int lastDay) const {
    SessionQuery3 query;
    query.from = berlinTime(2026, 3, firstDay);
    query.to = berlinTime(2026, 3, lastDay, 23, 59, 59);
    return query;
  }

  const SessionColumnSegment* segmentOf(const SessionColumnData& column, const Task& task) const {
    for (const auto& segment : column.segments) {
      if (segment.taskId.absoluteString() == task.objectID().uriRepresentation()) return &segment;
    }
    return nullptr;
  }
};

TEST_F(ChartDataTest, RunningEntryIsAddedAfreshToCachedColumns) {
  makeEntry(design, berlinTime(2026, 3, 29, 9), berlinTime(2026, 3, 29, 10), true, 90);
  makeEntry(top, berlinTime(2026, 3, 28, 9), berlinTime(2026, 3, 28, 10), true, 90);
  auto running = makeEntry(top, berlinTime(2026, 3, 29, 14, 59, 30), std::nullopt, false, 90);
  save();
  TimeEntriesChartDataCalculator calculator(provider);
  const SessionQuery3 week = days(28, 29);

  // 30 s of running time: too small to show while small groups are filtered out.
  auto columns = calculator.calculateValuesForBarChart(week, ReportChartGranularity::daily, true, running);
  EXPECT_EQ(segmentOf(columns[1], *top), nullptr);
  columns = calculator.calculateValuesForBarChart(week, ReportChartGranularity::daily, false, running);
  EXPECT_EQ(segmentOf(columns[1], *top) ? segmentOf(columns[1], *top)->duration : -1, 30);

  // Later: the cached column gains the running entry's current length, without a fetch.
  // Its task had no segment in that column: it is appended last. Non-billable: no money.
  time.advance(600);
  const std::size_t fetchesBefore = context().storeFetchCount();
  columns = calculator.calculateValuesForBarChart(week, ReportChartGranularity::daily, true, running);
  EXPECT_EQ(context().storeFetchCount(), fetchesBefore);
  ASSERT_EQ(columns[1].segments.size(), 2u);
  const auto& appended = columns[1].segments.back();
  EXPECT_EQ(std::tuple(appended.taskName, appended.duration, appended.revenue, columns[1].sessionCount),
            std::tuple("top", 630.0, 0.0, 2));
  EXPECT_EQ(columns[0].segments.size(), 1u) << "the day before holds no running time";
  // The cache holds the columns without it.
  for (const auto& [key, column] : calculator.chartDataCache()) {
    EXPECT_EQ(column.totalDuration(), 3600) << key;
  }

  // A billable running entry of a task with a segment adds to that segment in place.
  running->setTask(design);
  running->setIsBillable(true);
  columns = calculator.calculateValuesForBarChart(week, ReportChartGranularity::daily, true, running);
  ASSERT_EQ(columns[1].segments.size(), 1u);
  const auto& joined = columns[1].segments[0];
  EXPECT_EQ(std::tuple(joined.duration, joined.revenue, joined.sessionCount), std::tuple(3600.0 + 630, 90 + 15.75, 2));

  // A day later it crosses into the next day's column, which shows it only when given it.
  time.set(berlinTime(2026, 3, 30, 10));
  EXPECT_EQ(calculator.calculateColumnData(days(30, 30), false, nullptr).sessionCount, 0);
  EXPECT_EQ(calculator.calculateColumnData(days(30, 30), false, running).sessionCount, 1);
}

TEST_F(ChartDataTest, AverageOfColumnsWithEntries) {
  std::vector<SessionColumnData> columns(3);  // the middle one empty
  columns[0].segments.resize(2, SessionColumnSegment());
  columns[0].segments[0].duration = columns[0].segments[1].duration = 3600;
  columns[2].segments.resize(1);
  columns[2].segments[0].duration = 4 * 3600;
  columns[0].sessionCount = 2, columns[2].sessionCount = 1;
  EXPECT_EQ(TimeEntriesChartDataCalculator::avgDurationInSessionColumns(columns), 3 * 3600);
  EXPECT_EQ(TimeEntriesChartDataCalculator::avgDurationInSessionColumns({SessionColumnData()}), 0);
  EXPECT_EQ(TimeEntriesChartDataCalculator::avgDurationInSessionColumns({}), 0);
}

TEST_F(ChartDataTest, EncodedFormRoundTripsAndRejectsGaps) {
  save();
  SessionColumnSegment nested(*design);
  nested.duration = 5400.5;
  nested.revenue = 12.25;
  nested.sessionCount = 3;
  SessionColumnSegment plain(*top);
  EXPECT_EQ(nested.taskParentName, "work");
  EXPECT_FALSE(plain.taskParentName.has_value());
  EXPECT_EQ(plain.color, top->color().resolved(Appearance::light));

  SessionColumnData column(berlinTime(2026, 3, 29) + 0.25);
  column.segments = {nested, plain};
  column.calculateSessionCount();
  nlohmann::ordered_json json = column;

  // Keys in their order; no parent name key without a parent.
  std::vector<std::string> keys;
  for (const auto& item : json["segments"][0].items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"taskId", "taskName", "taskParentNameIsSet", "taskParentName", "color",
                                            "taskIsArchived", "taskIsBillable", "duration", "revenue",
                                            "sessionCount"}));
  EXPECT_FALSE(json["segments"][1]["taskParentNameIsSet"].get<bool>());
  EXPECT_FALSE(json["segments"][1].contains("taskParentName"));

  const auto decoded = nlohmann::json::parse(json.dump()).get<SessionColumnData>();
  SessionColumnData expected = column;
  for (auto& segment : expected.segments) segment.color.colorSpace = ColorSpace::sRGB;  // read back as sRGB
  EXPECT_EQ(decoded, expected);
  EXPECT_EQ(CachedSessionColumnData(decoded).data.sessionCount, 3);

  // Any missing key (null here) or value of another kind fails the whole record.
  const std::pair<const char*, nlohmann::json> damages[] = {
      {"/date", nullptr},           {"/sessionCount", "3"},         {"/segments/0/sessionCount", 1.5},
      {"/segments/0/taskParentName", nullptr} /* though marked set */, {"/segments/1/taskIsBillable", 1},
      {"/segments/1/duration", true}, {"/segments/1/taskId", "not a url"}};
  for (const auto& [where, value] : damages) {
    nlohmann::json damaged = nlohmann::json::parse(json.dump());
    const nlohmann::json::json_pointer at(where);
    value.is_null() ? void(damaged[at.parent_pointer()].erase(at.back())) : void(damaged[at] = value);
    EXPECT_THROW(damaged.get<SessionColumnData>(), nlohmann::json::exception) << where;
  }
  // A parent name that is present but not marked set is ignored.
  nlohmann::json extra = nlohmann::json::parse(json.dump());
  extra["segments"][1]["taskParentName"] = "ignored";
  EXPECT_FALSE(extra.get<SessionColumnData>().segments[1].taskParentName.has_value());
}

}  // namespace
}  // namespace chronelle::testing
