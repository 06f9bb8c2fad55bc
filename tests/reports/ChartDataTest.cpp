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
  ASSERT_NE(segmentOf(columns[1], *top), nullptr);
  EXPECT_EQ(segmentOf(columns[1], *top)->duration, 30);

  // Later: the cached column gains the running entry's current length, without a fetch.
  // Its task had no segment in that column: it is appended last. Non-billable: no money.
  time.advance(600);
  const std::size_t fetchesBefore = context().storeFetchCount();
  columns = calculator.calculateValuesForBarChart(week, ReportChartGranularity::daily, true, running);
  EXPECT_EQ(context().storeFetchCount(), fetchesBefore);
  ASSERT_EQ(columns[1].segments.size(), 2u);
  EXPECT_EQ(columns[1].segments.back().taskName, "top");
  EXPECT_EQ(columns[1].segments.back().duration, 630);
  EXPECT_EQ(columns[1].segments.back().revenue, 0);
  EXPECT_EQ(columns[1].sessionCount, 2);
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
  EXPECT_EQ(columns[1].segments[0].duration, 3600 + 630);
  EXPECT_EQ(columns[1].segments[0].revenue, 90 + 15.75);
  EXPECT_EQ(columns[1].segments[0].sessionCount, 2);

  // A day later it crosses into the next day's column, which shows it only when given it.
  time.set(berlinTime(2026, 3, 30, 10));
  EXPECT_EQ(calculator.calculateColumnData(days(30, 30), false, nullptr).sessionCount, 0);
  EXPECT_EQ(calculator.calculateColumnData(days(30, 30), false, running).sessionCount, 1);
}

TEST_F(ChartDataTest, AverageOfColumnsWithEntries) {
  std::vector<SessionColumnData> columns(3);
  columns[0].segments.resize(2);
  columns[0].segments[0].duration = 3600;
  columns[0].segments[1].duration = 3600;
  columns[0].sessionCount = 2;
  columns[2].segments.resize(1);
  columns[2].segments[0].duration = 4 * 3600;
  columns[2].sessionCount = 1;
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

  // Any missing key or value of another kind fails the whole record.
  struct Case {
    const char* name;
    std::function<void(nlohmann::json&)> damage;
  };
  const Case cases[] = {
      {"no date", [](nlohmann::json& j) { j.erase("date"); }},
      {"no segments", [](nlohmann::json& j) { j.erase("segments"); }},
      {"count as text", [](nlohmann::json& j) { j["sessionCount"] = "3"; }},
      {"fractional count", [](nlohmann::json& j) { j["segments"][0]["sessionCount"] = 1.5; }},
      {"no parent name though set", [](nlohmann::json& j) { j["segments"][0].erase("taskParentName"); }},
      {"no colour alpha", [](nlohmann::json& j) { j["segments"][0]["color"].erase("alpha"); }},
      {"billable as number", [](nlohmann::json& j) { j["segments"][1]["taskIsBillable"] = 1; }},
      {"duration as boolean", [](nlohmann::json& j) { j["segments"][1]["duration"] = true; }},
      {"no task id", [](nlohmann::json& j) { j["segments"][1].erase("taskId"); }},
      {"task id not a URL", [](nlohmann::json& j) { j["segments"][1]["taskId"] = "not a url"; }},
  };
  for (const auto& c : cases) {
    nlohmann::json damaged = nlohmann::json::parse(json.dump());
    c.damage(damaged);
    EXPECT_THROW(damaged.get<SessionColumnData>(), nlohmann::json::exception) << c.name;
  }
  // A parent name that is present but not marked set is ignored.
  nlohmann::json extra = nlohmann::json::parse(json.dump());
  extra["segments"][1]["taskParentName"] = "ignored";
  EXPECT_FALSE(extra.get<SessionColumnData>().segments[1].taskParentName.has_value());
}

}  // namespace
}  // namespace chronelle::testing
