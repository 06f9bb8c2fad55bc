// Reports through the binary over a month that holds the change to summer time: the JSON
// views (totals, breakdowns by billing state and by node, chart columns), plain text, and the
// HTML page opened in headless Chromium, whose bar segments must be as tall as their durations
// in the same report's JSON say, whose tables hold the JSON's totals, and whose dark colour
// scheme draws every segment in another colour on a dark page.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "CliRunner.h"
#include "Rendering.h"

namespace chronelle::testing {
namespace {

// What the page shows once laid out, gathered by a script added to a copy of it.
constexpr const char* kMeasure = R"(<pre id="measure"></pre><script>
const out = {rects: [], tables: {}, background: getComputedStyle(document.body).backgroundColor};
for (const r of document.querySelectorAll('#chart rect'))
  out.rects.push({date: r.parentNode.dataset.date, task: r.dataset.task,
                  height: r.getBoundingClientRect().height, fill: getComputedStyle(r).fill});
for (const t of document.querySelectorAll('table'))
  out.tables[t.id] = [...t.rows].slice(1).map(tr => ({path: tr.dataset.path || null,
                                                      cells: [...tr.cells].map(c => c.textContent.trim())}));
document.getElementById('measure').textContent = JSON.stringify(out);
</script></body>)";

nlohmann::json render(const std::string& browser, const std::filesystem::path& page, const std::string& flags) {
  std::string html = readFile(page);
  html.replace(html.rfind("</body>"), 7, kMeasure);
  const auto measured = page.parent_path() / ("measured" + std::to_string(flags.size()) + ".html");
  std::ofstream(measured) << html;
  const auto profile = page.parent_path() / ("profile" + std::to_string(flags.size()));
  const auto [dom, status] = shell("timeout 120 " + browser +
                                   " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                                   " --disable-background-networking --disable-component-update --disable-sync"
                                   " --window-size=1100,1400 --user-data-dir=" + profile.string() + " " + flags +
                                   " --dump-dom file://" + measured.string() + " 2>/dev/null");
  EXPECT_EQ(status, 0);
  const auto begin = dom.find("<pre id=\"measure\">");
  const auto end = dom.find("</pre>", begin);
  if (begin == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "no measurement in the page:\n" << dom.substr(0, 2000);
    return nullptr;
  }
  std::string text = dom.substr(begin + 18, end - begin - 18);
  for (const auto& [entity, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
    for (auto at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), character);
    }
  }
  return nlohmann::json::parse(text);
}

std::vector<std::string> totalsCells(const std::string& label, const nlohmann::json& totals) {
  return {label, cli::formatDuration(totals["duration"]), cli::formatMoney(totals["revenue"]),
          std::to_string(totals["count"].get<long long>())};
}

class CliReport : public ::testing::Test {
 protected:
  void SetUp() override {
    store.ok({"folder", "add", "Client", "--billable", "--rate", "60"});
    store.ok({"task", "add", "Client/Build"});
    store.ok({"task", "add", "R&D <lab>", "--billable", "--rate", "45.5"});
    store.ok({"task", "add", "Chores", "--non-billable"});
    add("Client/Build", "2026-02-28 23:30", "2026-03-01 00:30");  // 30 minutes count in March
    add("Client/Build", "2026-03-29 01:00", "2026-03-29 04:00");  // two real hours: summer time begins
    add("R&D <lab>", "2026-03-29 09:00", "2026-03-29 09:20");
    add("Chores", "2026-03-31 23:00", "2026-03-31 23:59");
    add("Chores", "2026-04-01 00:00", "2026-04-01 01:00");  // April, outside
    const std::string billed = store.okJson({"export", "--day", "2026-03-29", "--format", "json"})["entries"][0]["id"];
    store.ok({"entry", "edit", billed, "--status", "billed"});
  }
  void add(const char* task, const char* from, const char* to) {
    store.ok({"entry", "add", task, "--from", from, "--to", to});
  }
  CliStore store{"Europe/Berlin", "2026-04-10T12:00"};
};

TEST_F(CliReport, TotalsBreakdownsAndColumnsOfAMonthOverTheChangeToSummerTime) {
  const auto report = store.okJson({"report", "--month", "2026-03-15", "--by", "billing"});
  EXPECT_EQ(report["from"], "2026-03-01T00:00:00+01:00");
  EXPECT_EQ(report["to"], "2026-03-31T23:59:59+02:00");
  EXPECT_EQ(report["summary"]["duration"], 1800 + 7200 + 1200 + 3540);
  EXPECT_EQ(report["summary"]["revenue"], 30.0 + 120.0 + 15.17);
  const auto& billing = report["billing"];
  EXPECT_EQ(billing["billed"], (nlohmann::json{{"duration", 7200}, {"revenue", 120.0}, {"count", 1}})) << billing;
  EXPECT_EQ(billing["unbilled"]["duration"], 3000);
  EXPECT_EQ(billing["unbilled"]["revenue"], 45.17);
  EXPECT_EQ(billing["nonBillable"]["duration"], 3540);
  EXPECT_EQ(billing["nonBillable"]["revenue"], 0.0);
  EXPECT_EQ(billing["paid"]["count"], 0);
  EXPECT_FALSE(report.contains("nodes") || report.contains("chart"));
  // Only billed entries; only the task's folder; April holds the hour after midnight.
  EXPECT_EQ(store.okJson({"report", "--month", "2026-03-15", "--status", "billed"})["summary"]["duration"], 7200);
  EXPECT_EQ(store.okJson({"report", "--month", "2026-03-15", "--node", "Client"})["summary"]["duration"], 9000);
  EXPECT_EQ(store.okJson({"report", "--month", "2026-04-01"})["summary"]["duration"], 3600);

  const auto byNode = store.okJson({"report", "--month", "2026-03-15", "--by", "node"});
  std::map<std::string, double> durations;
  for (const auto& row : byNode["nodes"]) durations[row["path"]] = row["duration"];
  EXPECT_EQ(durations, (std::map<std::string, double>{
                           {"Client", 9000}, {"Client/Build", 9000}, {"R&D <lab>", 1200}, {"Chores", 3540}}));
  EXPECT_EQ(byNode["nodes"][0]["kind"], "folder");
  EXPECT_EQ(store.okJson({"report", "--month", "2026-03-15", "--by", "flat"})["nodes"].size(), 3u);

  const auto chart = store.okJson({"report", "--month", "2026-03-15", "--chart", "day"})["chart"];
  ASSERT_EQ(chart.size(), 31u);
  EXPECT_EQ(chart[0]["date"], "2026-03-01T00:00:00+01:00");
  EXPECT_EQ(chart[28]["date"], "2026-03-29T00:00:00+01:00");
  EXPECT_EQ(chart[29]["date"], "2026-03-30T00:00:00+02:00");
  EXPECT_EQ(chart[28]["segments"],
            nlohmann::json::parse(R"([{"task": "Client/Build", "duration": 7200, "revenue": 120, "count": 1},
                                      {"task": "R&D <lab>", "duration": 1200, "revenue": 15.17, "count": 1}])"));
  EXPECT_EQ(chart[28]["count"], 2);
  EXPECT_TRUE(chart[1]["segments"].empty());
  const auto months = store.okJson({"report", "--year", "2026-06-01", "--chart", "month"})["chart"];
  ASSERT_EQ(months.size(), 12u);
  EXPECT_EQ(months[2]["date"], "2026-03-01T00:00:00+01:00");

  // Human output draws plain bars when not on a terminal.
  const std::string text = store.ok({"report", "--month", "2026-03-15", "--by", "node", "--chart", "day"});
  EXPECT_NE(text.find("2026-03-29"), std::string::npos) << text;
  EXPECT_EQ(text.find("\x1b["), std::string::npos);
}

TEST_F(CliReport, RenderedBarsAndTablesMatchTheJsonReport) {
  const auto [found, status] = shell("bash " CHRONELLE_SOURCE_DIR "/scripts/ensure-chromium.sh");
  if (status != 0) GTEST_SKIP() << "no headless browser: " << found;
  const std::string browser = found.substr(0, found.find('\n'));

  const auto page = store.directory() / "report.html";
  EXPECT_EQ(store.run({"report", "--month", "2026-03-15", "--format", "html", "-o", page.string()}).status, 0);
  const auto byNode = store.okJson({"report", "--month", "2026-03-15", "--by", "node", "--chart", "day"});
  const auto byBilling = store.okJson({"report", "--month", "2026-03-15", "--by", "billing"});
  const std::string html = readFile(page);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("http"), std::string::npos) << "nothing is fetched";

  const auto light = render(browser, page, "");
  ASSERT_FALSE(light.is_null());

  // Every JSON segment is one rendered rectangle, as tall as its duration on one scale.
  std::map<std::pair<std::string, std::string>, double> durations;
  for (const auto& column : byNode["chart"]) {
    for (const auto& segment : column["segments"]) {
      durations[{column["date"].get<std::string>().substr(0, 10), segment["task"]}] = segment["duration"];
    }
  }
  ASSERT_EQ(light["rects"].size(), durations.size()) << light["rects"].dump();
  double pixelsPerSecond = 0;
  for (const auto& rect : light["rects"]) {
    const auto key = std::make_pair(rect["date"].get<std::string>(), rect["task"].get<std::string>());
    ASSERT_TRUE(durations.count(key)) << rect.dump();
    pixelsPerSecond = std::max(pixelsPerSecond, rect["height"].get<double>() / durations[key]);
  }
  ASSERT_GT(pixelsPerSecond, 0);
  for (const auto& rect : light["rects"]) {
    const double duration = durations[{rect["date"], rect["task"]}];
    EXPECT_NEAR(rect["height"].get<double>(), duration * pixelsPerSecond, 0.05) << rect.dump();
  }
  EXPECT_TRUE(durations.count({"2026-03-29", "R&D <lab>"})) << "a name with markup characters stays one task";

  // The tables hold the JSON's totals, cell by cell.
  const auto& tables = light["tables"];
  EXPECT_EQ(tables["summary"][0]["cells"], nlohmann::json(totalsCells("Total", byNode["summary"])));
  const std::vector<std::pair<const char*, const char*>> states = {
      {"Non-billable", "nonBillable"}, {"Unbilled", "unbilled"}, {"Billed", "billed"}, {"Paid", "paid"}};
  ASSERT_EQ(tables["billing"].size(), states.size());
  for (std::size_t i = 0; i < states.size(); ++i) {
    EXPECT_EQ(tables["billing"][i]["cells"], nlohmann::json(totalsCells(states[i].first, byBilling["billing"][states[i].second])))
        << states[i].first;
  }
  ASSERT_EQ(tables["nodes"].size(), byNode["nodes"].size());
  for (std::size_t i = 0; i < byNode["nodes"].size(); ++i) {
    const auto& node = byNode["nodes"][i];
    const std::string path = node["path"];
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    EXPECT_EQ(tables["nodes"][i]["path"], path);
    EXPECT_EQ(tables["nodes"][i]["cells"], nlohmann::json(totalsCells(name + (node["kind"] == "folder" ? "/" : ""), node)))
        << path;
  }

  // Dark appearance: each segment in its task's other variant, on a dark page.
  const auto dark = render(browser, page, "--force-dark-mode");
  ASSERT_EQ(dark["rects"].size(), light["rects"].size());
  for (std::size_t i = 0; i < dark["rects"].size(); ++i) {
    EXPECT_NE(dark["rects"][i]["fill"], light["rects"][i]["fill"]) << dark["rects"][i].dump();
  }
  int red = 255, green = 255, blue = 255;
  std::sscanf(dark["background"].get<std::string>().c_str(), "rgb(%d, %d, %d)", &red, &green, &blue);
  EXPECT_LT(red + green + blue, 3 * 64) << dark["background"];
  EXPECT_NE(light["background"], dark["background"]);
}

}  // namespace
}  // namespace chronelle::testing
