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
                  height: r.getBoundingClientRect().height, fill: getComputedStyle(r).fill,
                  top: r.getBoundingClientRect().top, bottom: r.getBoundingClientRect().bottom});
for (const t of document.querySelectorAll('table'))
  out.tables[t.id] = [...t.rows].slice(1).map(tr => ({path: tr.dataset.path || null,
                                                      cells: [...tr.cells].map(c => c.textContent.trim())}));
document.getElementById('measure').textContent =
    JSON.stringify(out).replace(/[<>&]/g, c => '\\u00' + c.charCodeAt(0).toString(16));
</script></body>)";

nlohmann::json render(const std::string& browser, const std::filesystem::path& page, const std::string& flags) {
  std::string html = readFile(page);
  const auto measured = page.parent_path() / ("measured" + std::to_string(flags.size()) + ".html");
  std::ofstream(measured) << html.replace(html.rfind("</body>"), 7, kMeasure);
  const auto profile = page.parent_path() / ("profile" + std::to_string(flags.size()));
  const auto [dom, status] = shell("timeout 120 " + browser +
                                   " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                                   " --disable-background-networking --disable-component-update --disable-sync"
                                   " --window-size=1100,1400 --user-data-dir=" + profile.string() + " " + flags +
                                   " --dump-dom file://" + measured.string() + " 2>/dev/null");
  const auto begin = dom.find("<pre id=\"measure\">"), end = dom.find("</pre>", begin);
  if (status != 0 || begin == std::string::npos || end == std::string::npos) return ADD_FAILURE() << dom.substr(0, 2000), nullptr;
  return nlohmann::json::parse(dom.substr(begin + 18, end - begin - 18));
}

std::vector<std::string> totalsCells(const std::string& label, const nlohmann::json& totals) {
  return {label, cli::formatDuration(totals["duration"]), cli::formatMoney(totals["revenue"]),
          std::to_string(totals["count"].get<long long>())};
}

TEST(CliReport, JsonTextAndHtmlOfAMonthOverTheChangeToSummerTime) {
  const CliStore store{"Europe/Berlin", "2026-04-10T12:00"};
  store.okAll({{"folder", "add", "Client", "--billable", "--rate", "60"}, {"task", "add", "Client/Build"},
               {"task", "add", "R&D <lab>", "--billable", "--rate", "45.5"}, {"task", "add", "Chores", "--non-billable"}});
  const auto add = [&](const char* task, const char* from, const char* to) {
    store.ok({"entry", "add", task, "--from", from, "--to", to});
  };
  add("Client/Build", "2026-02-28 23:30", "2026-03-01 00:30");  // 30 minutes count in March
  add("Client/Build", "2026-03-29 01:00", "2026-03-29 04:00");  // two real hours: summer time begins
  add("R&D <lab>", "2026-03-29 09:00", "2026-03-29 09:20");
  add("Chores", "2026-03-31 23:00", "2026-03-31 23:59");
  add("Chores", "2026-04-01 00:00", "2026-04-01 01:00");  // April, outside
  const std::string billed = store.okJson({"export", "--day", "2026-03-29", "--format", "json"})["entries"][0]["id"];
  store.ok({"entry", "edit", billed, "--status", "billed"});

  const auto byNode =
      store.okJson({"report", "--month", "2026-03-15", "--by", "node", "--chart", "day"});
  const auto byBilling = store.okJson({"report", "--month", "2026-03-15", "--by", "billing"});
  expectParts(byBilling, R"({"from": "2026-03-01T00:00:00+01:00", "to": "2026-03-31T23:59:59+02:00",
      "summary": {"duration": 13740, "revenue": 165.17}, "billing": {"billed": {"duration": 7200,
      "revenue": 120.0, "count": 1}, "unbilled": {"duration": 3000, "revenue": 45.17},
      "nonBillable": {"duration": 3540, "revenue": 0.0}, "paid": {"count": 0}}})");
  expectParts(byNode, R"({"nodes": [{"path": "Client", "kind": "folder", "duration": 9000},
      {"path": "Client/Build", "duration": 9000}, {"path": "R&D <lab>", "duration": 1200},
      {"path": "Chores", "duration": 3540}], "chart": [{"date": "2026-03-01T00:00:00+01:00"},
      {"segments": []}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
      {}, {}, {}, {}, {}, {}, {}, {"date": "2026-03-29T00:00:00+01:00", "count": 2, "segments": [
      {"task": "Client/Build", "duration": 7200, "revenue": 120, "count": 1},
      {"task": "R&D <lab>", "duration": 1200, "revenue": 15.17, "count": 1}]},
      {"date": "2026-03-30T00:00:00+02:00"}, {}]})");
  const std::vector<std::pair<std::vector<std::string>, const char*>> filtered = {
      {{"--status", "billed"}, R"({"summary": {"duration": 7200}})"},
      {{"--node", "Client"}, R"({"summary": {"duration": 9000}})"}, {{"--by", "flat"}, R"({"nodes": [{}, {}, {}]})"}};
  for (auto [args, expected] : filtered) {
    args.insert(args.begin(), {"report", "--month", "2026-03-15"});
    store.expectJson(args, expected);
  }
  // Human output draws plain bars when not on a terminal.
  const std::string text = store.ok({"report", "--month", "2026-03-15", "--by", "node", "--chart", "day"});
  EXPECT_TRUE(text.find("2026-03-29") != std::string::npos && text.find("\x1b[") == std::string::npos) << text;

  const auto [found, status] = shell("bash " CHRONELLE_SOURCE_DIR "/scripts/ensure-chromium.sh");
  if (status != 0) GTEST_SKIP() << "no headless browser: " << found;
  const std::string browser = found.substr(0, found.find('\n'));

  const auto page = store.directory() / "report.html";
  EXPECT_EQ(store.run({"report", "--month", "2026-03-15", "--format", "html", "-o", page.string()}).status, 0);
  const std::string html = readFile(page);
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("http"), std::string::npos) << "nothing is fetched";

  const auto light = render(browser, page, "");
  ASSERT_FALSE(light.is_null());

  // Every JSON segment is one rendered rectangle, as tall as its duration on one scale.
  std::map<std::pair<std::string, std::string>, double> durations;
  for (const auto& column : byNode["chart"]) {
    for (const auto& segment : column["segments"]) durations[{column["date"].get<std::string>().substr(0, 10), segment["task"]}] = segment["duration"];
  }
  ASSERT_EQ(light["rects"].size(), durations.size()) << light["rects"].dump();
  EXPECT_TRUE(durations.count({"2026-03-29", "R&D <lab>"})) << "a name with markup characters stays one task";
  const auto key = [](const nlohmann::json& rect) { return std::pair<std::string, std::string>(rect["date"], rect["task"]); };
  const double pixelsPerSecond = light["rects"][0]["height"].get<double>() / durations[key(light["rects"][0])];
  for (const auto& rect : light["rects"]) {
    ASSERT_TRUE(durations.count(key(rect))) << rect.dump();
    EXPECT_NEAR(rect["height"].get<double>(), durations[key(rect)] * pixelsPerSecond, 0.05) << rect.dump();
  }
  // A column's segments stand on one baseline, each on top of the one before.
  std::map<std::string, double> floorOf;
  for (const auto& rect : light["rects"]) {
    const double baseline = light["rects"][0]["bottom"];
    const auto floor = floorOf.try_emplace(rect["date"].get<std::string>(), baseline).first;
    EXPECT_NEAR(rect["bottom"].get<double>(), floor->second, 0.05) << rect.dump();
    floor->second = rect["top"].get<double>();
  }

  // The tables hold the JSON's totals, cell by cell.
  const auto& tables = light["tables"];
  EXPECT_EQ(tables["summary"][0]["cells"], nlohmann::json(totalsCells("Total", byNode["summary"])));
  const std::vector<std::pair<const char*, const char*>> states = {
      {"Non-billable", "nonBillable"}, {"Unbilled", "unbilled"}, {"Billed", "billed"}, {"Paid", "paid"}};
  ASSERT_EQ(tables["billing"].size(), states.size());
  for (std::size_t i = 0; i < states.size(); ++i) {
    EXPECT_EQ(tables["billing"][i]["cells"], nlohmann::json(totalsCells(states[i].first, byBilling["billing"][states[i].second])));
  }
  ASSERT_EQ(tables["nodes"].size(), byNode["nodes"].size());
  for (std::size_t i = 0; i < byNode["nodes"].size(); ++i) {
    const auto& node = byNode["nodes"][i];
    const std::string path = node["path"], name = path.substr(path.rfind('/') + 1);  // npos + 1 is 0
    EXPECT_EQ(tables["nodes"][i], nlohmann::json({{"path", path}, {"cells", totalsCells(name + (node["kind"] == "folder" ? "/" : ""), node)}}));
  }

  // Dark appearance: each segment in its task's other variant, on a dark page.
  const auto dark = render(browser, page, "--force-dark-mode");
  ASSERT_EQ(dark["rects"].size(), light["rects"].size());
  for (std::size_t i = 0; i < dark["rects"].size(); ++i) EXPECT_NE(dark["rects"][i]["fill"], light["rects"][i]["fill"]) << i;
  int red = 255, green = 255, blue = 255;
  std::sscanf(dark["background"].get<std::string>().c_str(), "rgb(%d, %d, %d)", &red, &green, &blue);
  EXPECT_LT(red + green + blue, 3 * 64) << dark["background"];
}

}  // namespace
}  // namespace chronelle::testing
