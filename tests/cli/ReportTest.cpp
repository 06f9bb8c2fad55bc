// Reports through the binary: a month that contains the change to summer time, breakdowns
// by billing state and by node, and daily chart columns.

#include <gtest/gtest.h>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

class CliReport : public ::testing::Test {
 protected:
  void SetUp() override {
    store.ok({"folder", "add", "Client"});
    store.ok({"node", "edit", "Client", "--billable", "--rate", "60"});
    store.ok({"task", "add", "Client/Build"});
    store.ok({"task", "add", "Chores", "--non-billable"});
    // Crosses into March: 30 minutes count in March.
    add("Client/Build", "2026-02-28 23:30", "2026-03-01 00:30");
    // The night the clocks jump from 02:00 to 03:00: three wall-clock hours, two real ones.
    add("Client/Build", "2026-03-29 01:00", "2026-03-29 04:00");
    add("Chores", "2026-03-31 23:00", "2026-03-31 23:59");
    // April, outside.
    add("Chores", "2026-04-01 00:00", "2026-04-01 01:00");
    const auto billed = store.okJson({"export", "--day", "2026-03-29", "--format", "json"})["entries"][0]["id"];
    store.ok({"entry", "edit", billed, "--status", "billed"});
  }

  void add(const std::string& task, const std::string& from, const std::string& to) {
    store.ok({"entry", "add", task, "--from", from, "--to", to});
  }

  CliStore store{"Europe/Berlin", "2026-04-10T12:00"};
};

TEST_F(CliReport, MonthOverTheChangeToSummerTime) {
  const auto report = store.okJson({"report", "--month", "2026-03-15", "--by", "billing"});
  EXPECT_EQ(report["from"], "2026-03-01T00:00:00+01:00");
  EXPECT_EQ(report["to"], "2026-03-31T23:59:59+02:00");
  EXPECT_EQ(report["summary"]["duration"], 1800 + 7200 + 3540);
  EXPECT_EQ(report["summary"]["revenue"], 30.0 + 120.0);
  EXPECT_EQ(report["billing"]["billed"]["duration"], 7200);
  EXPECT_EQ(report["billing"]["billed"]["revenue"], 120.0);
  EXPECT_EQ(report["billing"]["unbilled"]["duration"], 1800);
  EXPECT_EQ(report["billing"]["nonBillable"]["duration"], 3540);
  EXPECT_EQ(report["billing"]["nonBillable"]["revenue"], 0.0);
  EXPECT_EQ(report["billing"]["paid"]["count"], 0);
  EXPECT_FALSE(report.contains("nodes"));
  EXPECT_FALSE(report.contains("chart"));

  // Only billed entries; only the task's folder.
  EXPECT_EQ(store.okJson({"report", "--month", "2026-03-15", "--status", "billed"})["summary"]["duration"], 7200);
  EXPECT_EQ(store.okJson({"report", "--month", "2026-03-15", "--node", "Client"})["summary"]["duration"], 9000);
  // April holds the hour after midnight.
  EXPECT_EQ(store.okJson({"report", "--month", "2026-04-01"})["summary"]["duration"], 3600);
}

TEST_F(CliReport, NodeBreakdownsAndDailyColumns) {
  const auto byNode = store.okJson({"report", "--month", "2026-03-15", "--by", "node"});
  std::map<std::string, double> durations;
  for (const auto& row : byNode["nodes"]) durations[row["path"]] = row["duration"];
  EXPECT_EQ(durations, (std::map<std::string, double>{{"Client", 9000}, {"Client/Build", 9000}, {"Chores", 3540}}));
  EXPECT_EQ(byNode["nodes"][0]["kind"], "folder");

  const auto flat = store.okJson({"report", "--month", "2026-03-15", "--by", "flat"});
  ASSERT_EQ(flat["nodes"].size(), 2u) << flat.dump();

  const auto chart = store.okJson({"report", "--month", "2026-03-15", "--chart", "day"})["chart"];
  ASSERT_EQ(chart.size(), 31u);
  EXPECT_EQ(chart[0]["date"], "2026-03-01T00:00:00+01:00");
  EXPECT_EQ(chart[28]["date"], "2026-03-29T00:00:00+01:00");
  EXPECT_EQ(chart[29]["date"], "2026-03-30T00:00:00+02:00");
  ASSERT_EQ(chart[28]["segments"].size(), 1u);
  EXPECT_EQ(chart[28]["segments"][0]["task"], "Client/Build");
  EXPECT_EQ(chart[28]["segments"][0]["duration"], 7200);
  EXPECT_EQ(chart[28]["count"], 1);
  EXPECT_TRUE(chart[1]["segments"].empty());

  const auto months = store.okJson({"report", "--year", "2026-06-01", "--chart", "month"})["chart"];
  ASSERT_EQ(months.size(), 12u);
  EXPECT_EQ(months[2]["date"], "2026-03-01T00:00:00+01:00");

  // Human output draws plain bars when not on a terminal.
  const std::string text = store.ok({"report", "--month", "2026-03-15", "--by", "node", "--chart", "day"});
  EXPECT_NE(text.find("2026-03-29"), std::string::npos) << text;
  EXPECT_EQ(text.find("\x1b["), std::string::npos);
}

}  // namespace
}  // namespace chronelle::testing
