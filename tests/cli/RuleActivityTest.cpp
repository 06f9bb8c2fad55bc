// Automatic-tracking rules and the activity log through the binary: a rule set built,
// reordered and switched across processes, and activities recorded, listed and deleted by
// range. Refused input changes nothing.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

// "A B [C D]": the ids of the rules in order, a group's children in brackets, an inactive
// rule marked with "-".
std::string shape(const nlohmann::json& set, const std::map<std::string, std::string>& names) {
  std::string text;
  const std::function<void(const nlohmann::json&)> add = [&](const nlohmann::json& rules) {
    for (const auto& rule : rules) {
      if (!text.empty() && text.back() != '[') text += ' ';
      text += (rule["active"] ? "" : "-") + names.at(rule["id"]);
      if (rule["kind"] == "combination") {
        text += " [";
        add(rule["children"]);
        text += "]";
      }
    }
  };
  add(set["rules"]);
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
  EXPECT_EQ(shape(set, names), "A B G [C]");

  // Into the group at its front (a lower-case prefix names it too), then back to the top.
  std::string lowerPrefix = g.substr(0, 8);
  for (auto& ch : lowerPrefix) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  set = store.okJson({"rule", "move", a, "--in", lowerPrefix, "--at", "0"});
  EXPECT_EQ(shape(set, names), "B G [A C]");
  EXPECT_EQ(set["rules"][1]["children"][1]["order"], 1) << "the group is numbered afresh";
  set = store.okJson({"rule", "deactivate", g});
  EXPECT_EQ(shape(set, names), "B -G [-A -C]");
  const auto beforeRefusal = store.okJson({"rule", "list", "Build"});
  EXPECT_EQ(store.run({"rule", "activate", a}).status, 2) << "a rule in an inactive group stays off";
  EXPECT_EQ(store.okJson({"rule", "list", "Build"}), beforeRefusal);
  set = store.okJson({"rule", "move", a, "--top", "--at", "0"});
  EXPECT_EQ(shape(set, names), "A B -G [-C]") << "a rule leaving an inactive group is switched on";
  set = store.okJson({"rule", "activate", g});
  EXPECT_EQ(shape(set, names), "A B G [C]");

  set = store.okJson({"rule", "edit", a, "--text", "invoice", "--file-match", "name-regex", "--active-window", "--set",
                      "mode=strict", "--no-url"});
  const auto& rule = set["rules"][0];
  EXPECT_EQ(nlohmann::json({rule["text"], rule["url"], rule["relation"], rule["fileMatch"], rule["textMatch"],
                            rule["activeWindow"], rule["userInfo"]}),
            nlohmann::json::parse(R"(["invoice", null, 3, "name-regex", "ends-with", true, {"mode": "strict"}])"));
  EXPECT_EQ(store.okJson({"rule", "edit", a, "--unset", "mode"})["rules"][0]["userInfo"], nlohmann::json::object());

  // The delays are stored as indexes out of case order; each must read back as written.
  for (const auto& [start, pause] : std::vector<std::pair<std::string, std::string>>{
           {"immediately", "10s"}, {"10s", "5m"}, {"30s", "30s"}, {"5m", "1m"}}) {
    set = store.okJson({"rule", "settings", "Build", "--start-delay", start, "--pause-delay", pause, "--start",
                        "notify", "--pause", "none", "--off"});
    EXPECT_EQ(set["startDelay"], start);
    EXPECT_EQ(set["pauseDelay"], pause);
  }
  EXPECT_EQ(nlohmann::json({set["start"], set["pause"], set["active"]}), nlohmann::json({"notify", "none", false}));

  // Input refused as a whole: nothing of the set changes.
  const auto before = store.okJson({"rule", "list", "Build"});
  const std::vector<std::vector<std::string>> refused = {
      {"rule", "add", "Build", "--type", "9"},
      {"rule", "add", "Build"},
      {"rule", "add", "Build", "--group", "--type", "1"},
      {"rule", "add", "Build", "--group", "--in", g},
      {"rule", "add", "Build", "--type", "1", "--at", "4"},
      {"rule", "add", "Build", "--type", "1", "--at", "-1"},
      {"rule", "add", "Chores", "--type", "1", "--in", g},
      {"rule", "move", g, "--in", g},
      {"rule", "move", a, "--top", "--in", g},
      {"rule", "edit", a, "--app", "x", "--no-app"},
      {"rule", "edit", a, "--text-match", "exact", "--file-match", "path-is"},
      {"rule", "edit", a, "--set", "=x"},
      {"rule", "edit", g, "--text", "x"},
      {"rule", "edit", "ZZZZ", "--text", "x"},
      {"rule", "settings", "Build", "--pause-delay", "immediately"},
      {"rule", "settings", "Build", "--start", "sometimes"},
      {"rule", "settings", "Build", "--on", "--off"},
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    const CliResult result = store.run(refused[i]);
    EXPECT_EQ(result.status, 2) << "case " << i << ": " << result.err;
  }
  EXPECT_EQ(store.okJson({"rule", "list", "Build"}), before);

  // A group goes with its rules; naming one of them as well deletes it once.
  set = store.okJson({"rule", "delete", g, c, b});
  EXPECT_EQ(shape(set, names), "A");
  EXPECT_EQ(store.run({"rule", "edit", c, "--text", "x"}).status, 2);
  EXPECT_EQ(store.okJson({"rule", "list", "Chores"})["hasRuleSet"], false);
}

TEST(CliActivity, RecordListAndDeleteByRange) {
  CliStore store{"Europe/Berlin", "2026-12-05T12:00"};
  const auto add = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"activity", "add"});
    return store.okJson(args);
  };
  // Yesterday's late entry reaches into today.
  add({"--from", "2026-12-04 23:30", "--to", "2026-12-05 00:30", "--app", "com.apple.Terminal"});
  add({"--from", "09:00", "--to", "09:40", "--app", "org.mozilla.firefox", "--url", "https://example.org/a?b=1"});
  const auto document = add({"--from", "09:40", "--to", "10:30", "--app", "com.apple.TextEdit", "--document",
                             "/home/me/notes.txt", "--title", "Notes"});
  EXPECT_EQ(document["page"], "file:///home/me/notes.txt");
  add({"--from", "11:30", "--app", "com.apple.Xcode"});

  auto list = store.okJson({"activity", "list", "--day"})["entries"];
  ASSERT_EQ(list.size(), 4u) << list.dump();
  std::string kinds;
  for (const auto& entry : list) kinds += entry["kind"].get<std::string>() + " ";
  EXPECT_EQ(kinds, "app browser document app ");
  EXPECT_EQ(list[0]["duration"], 3600);
  EXPECT_EQ(list[1]["page"], "https://example.org/a?b=1");
  EXPECT_EQ(list[2]["title"], "Notes");
  // Still going on at noon.
  EXPECT_EQ(nlohmann::json({list[3]["end"], list[3]["duration"]}), nlohmann::json({nullptr, 1800}));
  EXPECT_EQ(store.okJson({"activity", "list", "--day", "2026-12-04"})["entries"].size(), 1u);

  const std::string before = store.okJson({"activity", "list", "--year"}).dump();
  const std::vector<std::vector<std::string>> refused = {
      {"activity", "add", "--from", "10:00", "--to", "09:00"},
      {"activity", "add", "--to", "09:00"},
      {"activity", "add", "--from", "10:00", "--url", "not a url"},
      {"activity", "add", "--from", "10:00", "--url", "https://a.org", "--document", "x.txt"},
      {"activity", "add", "--from", "25:00"},
      {"activity", "delete"},
      {"activity", "delete", "--all", "--day"},
      {"activity", "delete", "--from", "10:00"},
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    EXPECT_EQ(store.run(refused[i]).status, 2) << "case " << i;
  }
  EXPECT_EQ(store.okJson({"activity", "list", "--year"}).dump(), before);

  // Only what lies wholly inside the range goes; the document entry reaches past 10:00.
  const auto deleted = store.okJson({"activity", "delete", "--from", "09:00", "--to", "10:00"});
  EXPECT_EQ(deleted["deleted"], 1);
  EXPECT_EQ(deleted["kept"], 1);
  list = store.okJson({"activity", "list", "--day"})["entries"];
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1]["kind"], "document");

  EXPECT_EQ(store.ok({"activity", "delete", "--all"}), "deleted 3 activities\n");
  EXPECT_TRUE(store.okJson({"activity", "list", "--year"})["entries"].empty());
}

}  // namespace
}  // namespace chronelle::testing
