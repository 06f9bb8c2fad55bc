// Automatic-tracking rules and the activity log through the binary: a rule set built,
// reordered and switched across processes, and activities recorded, listed and deleted by
// range. Refused input changes nothing.

#include <gtest/gtest.h>

#include <cctype>
#include <algorithm>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

// "A B [C D]": the ids of the rules in order, a group's children in brackets, an inactive
// rule marked with "-".
std::string shape(const nlohmann::json& rules, const std::map<std::string, std::string>& names) {
  std::string text;
  for (const auto& rule : rules) {
    text += (text.empty() ? "" : " ") + std::string(rule["active"] ? "" : "-") + names.at(rule["id"]);
    if (rule["kind"] == "combination") text += " [" + shape(rule["children"], names) + "]";
  }
  return text;
}

TEST(CliRules, BuildReorderSwitchAndDeleteARuleSet) {
  CliStore store;
  store.okAll({{"task", "add", "Build"}, {"task", "add", "Chores"}});
  std::map<std::string, std::string> names;
  const auto add = [&](const std::string& name, std::vector<std::string> args) {
    args.insert(args.begin(), {"rule", "add"});
    const std::string id = store.okJson(args)["rules"].back()["id"];
    names[id] = name;
    return id;
  };
  const auto a = add("A", {"Build", "--type", "2", "--url", "https://github.com", "--text-match", "contains"});
  const auto b = add("B", {"Build", "--type", "5", "--app", "/Applications/Mail.app"});
  const auto g = add("G", {"Build", "--group"});
  auto set = store.okJson({"rule", "add", "Build", "--type", "1", "--in", g.substr(0, 8)});
  const std::string c = set["rules"][2]["children"][0]["id"];
  names[c] = "C";
  // A set made for a task's first rule starts timing by itself and pauses by itself.
  EXPECT_EQ(nlohmann::json({set["start"], set["pause"]}), nlohmann::json({"active", "active"}));
  EXPECT_EQ(shape(set["rules"], names), "A B G [C]");

  // Into the group at its front (a lower-case prefix names it too), then back to the top.
  std::string lowerPrefix = g.substr(0, 8);
  std::transform(lowerPrefix.begin(), lowerPrefix.end(), lowerPrefix.begin(), [](unsigned char ch) { return std::tolower(ch); });
  set = store.okJson({"rule", "move", a, "--in", lowerPrefix, "--at", "0"});
  EXPECT_EQ(shape(set["rules"], names), "B G [A C]");
  EXPECT_EQ(set["rules"][1]["children"][1]["order"], 1) << "the group is numbered afresh";
  set = store.okJson({"rule", "deactivate", g});
  EXPECT_EQ(shape(set["rules"], names), "B -G [-A -C]");
  const auto beforeRefusal = store.okJson({"rule", "list", "Build"});
  EXPECT_EQ(store.run({"rule", "activate", a}).status, 2) << "a rule in an inactive group stays off";
  EXPECT_EQ(store.okJson({"rule", "list", "Build"}), beforeRefusal);
  set = store.okJson({"rule", "move", a, "--top", "--at", "0"});
  EXPECT_EQ(shape(set["rules"], names), "A B -G [-C]") << "a rule leaving an inactive group is switched on";
  set = store.okJson({"rule", "activate", g});
  EXPECT_EQ(shape(set["rules"], names), "A B G [C]");

  store.expectJson({"rule", "edit", a, "--text", "invoice", "--file-match", "name-regex", "--active-window", "--set",
                    "mode=strict", "--no-url"}, R"({"rules": [{"text": "invoice", "url": null, "relation": 3, "fileMatch":
      "name-regex", "textMatch": "ends-with", "activeWindow": true, "userInfo": {"mode": "strict"}}, {}, {}]})");
  store.expectJson({"rule", "edit", a, "--unset", "mode"}, R"({"rules": [{"userInfo": {}}, {}, {}]})");

  // The delays are stored as indexes out of case order; each must read back as written.
  for (const auto& [start, pause] : std::vector<std::pair<std::string, std::string>>{
           {"immediately", "10s"}, {"10s", "5m"}, {"30s", "30s"}, {"5m", "1m"}}) {
    set = store.okJson({"rule", "settings", "Build", "--start-delay", start, "--pause-delay", pause, "--start",
                        "notify", "--pause", "none", "--off"});
    EXPECT_EQ(std::pair(set["startDelay"], set["pauseDelay"]), std::pair(nlohmann::json(start), nlohmann::json(pause)));
  }
  EXPECT_EQ(nlohmann::json({set["start"], set["pause"], set["active"]}), nlohmann::json({"notify", "none", false}));

  // Input refused as a whole: nothing of the set changes.
  const auto before = store.okJson({"rule", "list", "Build"});
  const std::vector<std::vector<std::string>> refused = {
      {"add", "Build", "--type", "9"}, {"add", "Build"}, {"add", "Build", "--group", "--type", "1"},
      {"add", "Build", "--group", "--in", g}, {"add", "Build", "--type", "1", "--at", "4"},
      {"add", "Build", "--type", "1", "--at", "-1"}, {"add", "Chores", "--type", "1", "--in", g}, {"move", g, "--in", g},
      {"move", a, "--top", "--in", g}, {"edit", a, "--app", "x", "--no-app"},
      {"edit", a, "--text-match", "exact", "--file-match", "path-is"}, {"edit", a, "--set", "=x"},
      {"edit", g, "--text", "x"}, {"edit", "ZZZZ", "--text", "x"}, {"settings", "Build", "--pause-delay", "immediately"},
      {"settings", "Build", "--start", "sometimes"}, {"settings", "Build", "--on", "--off"},
  };
  for (std::vector<std::string> args : refused) {
    args.insert(args.begin(), "rule");
    const CliResult result = store.run(args);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(args) << ": " << result.err;
  }
  EXPECT_EQ(store.okJson({"rule", "list", "Build"}), before);

  // A group goes with its rules; naming one of them as well deletes it once.
  set = store.okJson({"rule", "delete", g, c, b});
  EXPECT_EQ(shape(set["rules"], names), "A");
  EXPECT_EQ(store.run({"rule", "edit", c, "--text", "x"}).status, 2);
  EXPECT_EQ(store.okJson({"rule", "list", "Chores"})["hasRuleSet"], false);
}

TEST(CliActivity, RecordListAndDeleteByRange) {
  CliStore store{"Europe/Berlin", "2026-12-05T12:00"};
  // Yesterday's late entry reaches into today; the last one is still going on at noon.
  store.okAll({{"activity", "add", "--from", "2026-12-04 23:30", "--to", "2026-12-05 00:30", "--app", "com.apple.Terminal"},
               {"activity", "add", "--from", "09:00", "--to", "09:40", "--app", "org.mozilla.firefox", "--url",
                "https://example.org/a?b=1"}});
  store.expectJson({"activity", "add", "--from", "09:40", "--to", "10:30", "--app", "com.apple.TextEdit", "--document",
          "/home/me/notes.txt", "--title", "Notes"}, R"({"page": "file:///home/me/notes.txt"})");
  store.ok({"activity", "add", "--from", "11:30", "--app", "com.apple.Xcode"});
  store.expectJson({"activity", "list", "--day"}, R"({"entries": [{"kind": "app", "duration": 3600}, {"kind": "browser", "page":
      "https://example.org/a?b=1"}, {"kind": "document", "title": "Notes"}, {"kind": "app", "end": null, "duration": 1800}]})");
  store.expectJson({"activity", "list", "--day", "2026-12-04"}, R"({"entries": [{}]})");

  const std::string before = store.okJson({"activity", "list", "--year"}).dump();
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"add", "--from", "10:00", "--to", "09:00"}, {"add", "--to", "09:00"}, {"add", "--from", "10:00", "--url", "not a url"},
           {"add", "--from", "10:00", "--url", "https://a.org", "--document", "x.txt"}, {"add", "--from", "25:00"},
           {"delete"}, {"delete", "--all", "--day"}, {"delete", "--from", "10:00"}}) {
    args.insert(args.begin(), "activity");
    EXPECT_EQ(store.run(args).status, 2) << ::testing::PrintToString(args);
  }
  EXPECT_EQ(store.okJson({"activity", "list", "--year"}).dump(), before);

  // Only what lies wholly inside the range goes; the document entry reaches past 10:00.
  store.expectJson({"activity", "delete", "--from", "09:00", "--to", "10:00"}, R"({"deleted": 1, "kept": 1})");
  store.expectJson({"activity", "list", "--day"}, R"({"entries": [{}, {"kind": "document"}, {}]})");
  EXPECT_EQ(store.ok({"activity", "delete", "--all"}), "deleted 3 activities\n");
  store.expectJson({"activity", "list", "--year"}, R"({"entries": []})");
}

}  // namespace
}  // namespace chronelle::testing
