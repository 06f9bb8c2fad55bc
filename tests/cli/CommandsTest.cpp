// Tree, entry, timer, rule and activity commands, export and import through the built binary,
// with their JSON shapes. Every command is a new process, which finds what the last one left
// (a running entry, preferences, a rule set); refused input changes nothing. `status` with
// nothing saved for the timer answers without opening the store. The export is written entry
// by entry rather than through a JSON document: its text must stay what the JSON library
// writes for the same document (layout, numbers, escapes), and its times what ICU writes, in
// zones with odd offsets too.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

using nlohmann::json;

TEST(CliTree, BuildsEditsMovesArchivesAndListsTheTree) {
  CliStore store;
  store.okAll({{"folder", "add", "Acme"}, {"node", "edit", "Acme", "--billable", "--rate", "90"},
               {"folder", "add", "Acme/Web"}, {"task", "add", "Acme/Web/Design", "--notes", "mockups", "--color", "teal"},
               {"task", "add", "Acme/Support", "--rate", "70"}, {"task", "add", "Inbox", "--non-billable"}});
  // Design inherits its rate from Acme.
  store.expectJson({"tree"}, R"({"nodes": [{}, {"hasChildren": true}, {"archived": false, "billable": true,
      "duration": 0, "hasChildren": false, "kind": "task", "level": 2, "name": "Design", "path": "Acme/Web/Design",
      "rate": 90}, {"rate": 70}, {"billable": false}]})");
  // Rename by identifier, move to the top at position 0.
  const std::string supportId = store.okJson({"tree"})["nodes"][3]["id"];
  store.ok({"node", "edit", "@" + supportId, "--name", "Helpdesk", "--inherit-rate"});
  store.expectJson({"tree"}, R"({"nodes": [{}, {}, {}, {"path": "Acme/Helpdesk", "rate": 90}, {}]})");
  store.ok({"node", "move", "Acme/Helpdesk", "--top", "--at", "0"});
  store.expectJson({"tree"}, R"({"nodes": [{"path": "Helpdesk", "rate": 0.0}, {}, {}, {}, {}]})");
  // Archived nodes leave the tree unless --all; unarchive brings them back. Several nodes at
  // once still make one JSON document.
  store.ok({"node", "archive", "Inbox"});
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 4u);
  store.expectJson({"tree", "--all"}, R"({"nodes": [{}, {}, {}, {}, {"archived": true}]})");
  store.ok({"node", "unarchive", "Inbox"});
  store.expectJson({"node", "archive", "Inbox", "Acme/Web"},
                   R"({"nodes": [{}, {"path": "Acme/Web", "archived": true}]})");
  store.okAll({{"node", "unarchive", "Inbox", "Acme/Web"}, {"node", "sort"}});
  store.expectJson({"tree"}, R"({"nodes": [{"name": "Acme"}, {}, {}, {}, {"name": "Inbox"}]})");
  store.expectJson({"node", "delete", "Acme/Web"}, R"({"deleted": ["Acme/Web"]})");
}

TEST(CliEntries, AddEditDuplicateMergeDeleteAndAcrossMidnight) {
  CliStore store;
  store.okAll({{"task", "add", "Work", "--billable", "--rate", "100"}, {"task", "add", "Other"}});
  auto entry = store.okJson({"entry", "add", "Work", "--from", "2026-12-04 23:00", "--to", "2026-12-05 01:30",
                             "--notes", "late"});
  EXPECT_EQ(withoutId(entry), json::parse(R"({"autotracked": false, "begin": "2026-12-04T23:00:00+01:00",
      "billable": true, "duration": 9000, "end": "2026-12-05T01:30:00+01:00", "notes": "late", "rate": 100,
      "revenue": 250, "status": "unbilled", "task": "Work"})"));
  const std::string id = entry["id"];
  // The day list shows the entry across midnight once per day, newest day first, with its edges.
  store.expectJson({"list", "--week"}, R"({"sections": [{"name": "2026-12-05", "fragments": [{"from":
      "2026-12-05T00:00:00+01:00", "edge": "before", "duration": 5400}]}, {"name": "2026-12-04", "fragments":
      [{"edge": "after", "entry": ")" + id + R"("}]}]})");

  // A prefix names the entry, typed in either case.
  std::string lowerPrefix = id.substr(0, 13);
  std::transform(lowerPrefix.begin(), lowerPrefix.end(), lowerPrefix.begin(), [](unsigned char ch) { return std::tolower(ch); });
  entry = store.okJson({"entry", "edit", lowerPrefix, "--to", "2026-12-05 00:30", "--status", "billed", "--no-notes"});
  expectParts(entry, R"({"duration": 5400, "status": "billed", "notes": null})");
  const auto copy = store.okJson({"entry", "duplicate", id});
  EXPECT_TRUE(copy["id"] != id && withoutId(copy) == withoutId(entry)) << copy;

  const auto a = store.okJson({"entry", "add", "Work", "--from", "2026-12-05 09:00", "--to", "10:00"});
  const auto b = store.okJson({"entry", "add", "Other", "--from", "11:00", "--to", "11:30"});
  auto merged = store.okJson({"entry", "merge", a["id"], b["id"], "--into", "Other", "--push"});
  expectParts(merged, R"({"task": "Other", "begin": "2026-12-05T09:00:00+01:00", "duration": 5400})");
  const auto c = store.okJson({"entry", "add", "Work", "--from", "13:00", "--to", "13:30"});
  merged = store.okJson({"entry", "merge", merged["id"], c["id"], "--into", "Work", "--fill"});
  EXPECT_EQ(std::pair(merged["end"], merged["duration"]), std::pair(json("2026-12-05T13:30:00+01:00"), json(4.5 * 3600)));

  store.ok({"entry", "delete", merged["id"], copy["id"]});
  store.expectJson({"export", "--from", "2026-12-01", "--to", "2026-12-31", "--format", "json"},
             R"({"entries": [{"id": ")" + id + R"("}]})");
  const std::string csv = store.ok({"export", "--month", "--format", "csv"});
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "id,task,begin,end,duration,billable,rate,revenue,status,notes");
  EXPECT_NE(csv.find(",Work,2026-12-04T23:00:00+01:00,2026-12-05T00:30:00+01:00,5400,true,100.00,150.00,billed,"),
            std::string::npos)
      << csv;
}

TEST(CliImport, TimewarriorHistoryInOneWriteWithTheOpenIntervalRunning) {
  CliStore store;
  store.ok({"task", "add", "Writing"});
  const CliResult result = store.run({"--json", "import", "timewarrior", "-"}, R"([
    {"start": "20261203T080000Z", "end": "20261203T093000Z", "tags": ["Writing", "book", "x"],
     "annotation": "chapter 3"},
    {"start": "20261204T080000Z", "end": "20261204T083000Z"},
    {"start": "20261205T100000Z", "tags": ["Reading"]}
  ])");
  ASSERT_EQ(result.status, 0) << result.err;
  expectParts(result.json(), R"({"imported": 3, "createdTasks": ["Reading", "Untagged"], "running": {"task": "Reading"}})");
  // Now is 11:00 UTC.
  store.expectJson({"status"}, R"({"state": "runningManually", "entry": {"duration": 3600}})");
  store.expectJson({"export", "--week", "--format", "json"},
             R"({"entries": [{"task": "Writing", "notes": "chapter 3 #book #x", "duration": 5400},
                 {"task": "Untagged", "notes": null}, {}]})");
}

TEST(CliTimer, StartedInOneProcessPausedInAnotherWithRounding) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work", "--billable", "--rate", "60"}});
  // At each time of 2026-12-05, a command and the parts of its JSON output it must give.
  const std::vector<std::tuple<const char*, std::vector<std::string>, const char*>> steps = {
      {"08:00", {"prefs", "--rounding", "on", "--step", "15m", "--method", "up"}, R"({"rounding": true, "step": 900})"},
      {"09:00", {"start", "Client/Work"}, R"({"state": "runningManually", "task": "Client/Work", "entry": {"end": null}})"},
      // A new process finds the running entry; the task's total includes the running time.
      {"09:10", {"status"}, R"({"state": "runningManually", "entry": {"duration": 600, "begin": "2026-12-05T09:00:00+01:00"}})"},
      {"09:10", {"tree"}, R"({"nodes": [{}, {"duration": 600}]})"},
      // 22 minutes rounded up to the next quarter hour.
      {"09:22", {"pause"}, R"({"state": "paused", "entry": {"end": "2026-12-05T09:30:00+01:00", "duration": 1800, "revenue": 30.0}})"},
      // toggle starts again on the current task; with a minimum length a short entry is dropped.
      {"09:22", {"prefs", "--min", "5m"}, "{}"},
      {"10:00", {"toggle"}, R"({"state": "runningManually"})"},
      {"10:03", {"toggle"}, R"({"state": "idleWithTask", "entry": null})"},
      {"10:03", {"export", "--day", "--format", "json"}, R"({"entries": [{"duration": 1800}]})"},
      // A pause at an explicit time, and clear keeps the task.
      {"11:00", {"start", "--at", "10:40"}, "{}"},
      {"11:00", {"pause", "--at", "10:52"}, R"({"entry": {"begin": "2026-12-05T10:40:00+01:00", "duration": 900}})"},
      {"11:00", {"clear"}, R"({"state": "idleWithTask", "task": "Client/Work", "entry": null})"},
      {"11:00", {"start", "Client/Work", "--auto"}, R"({"state": "runningAutotracked", "entry": {"autotracked": true}})"},
  };
  for (const auto& [now, args, expected] : steps) {
    store.setNow(std::string("2026-12-05T") + now);
    SCOPED_TRACE(now);
    store.expectJson(args, expected);
  }
  const CliResult pause = CliStore().run({"pause"});
  EXPECT_TRUE(pause.status == 1 && pause.err.rfind("chronelle: ", 0) == 0)
      << "nothing to pause is a failure: " << pause.err;
}


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
  EXPECT_EQ(store.run({"rule", "activate", a}).status, 2) << "a rule in an inactive group stays off";
  EXPECT_EQ(shape(store.okJson({"rule", "list", "Build"})["rules"], names), "B -G [-A -C]");
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
  CliStore store;
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
}


// Every file of the store directory with its size and modification time.
std::string listing(const std::filesystem::path& directory) {
  std::set<std::string> files;
  for (const auto& file : std::filesystem::directory_iterator(directory)) {
    files.insert(file.path().filename().string() + " " + std::to_string(file.file_size()) + " " +
                 std::to_string(file.last_write_time().time_since_epoch().count()));
  }
  std::string text;
  for (const auto& file : files) text += file + "\n";
  return text;
}

TEST(CliStatus, AnIdleTimerIsReportedWithoutTouchingTheStore) {
  CliStore store;
  store.ok({"task", "add", "Work"});
  const std::string before = listing(store.directory());
  EXPECT_EQ(store.ok({"status"}), "state: idle\ntask:  -\n");
  EXPECT_EQ(store.okJson({"status"}), nlohmann::json::parse(R"({"state": "idle", "task": null, "entry": null})"));
  EXPECT_EQ(listing(store.directory()), before) << "the lock file or the store was written";
}


using Ordered = nlohmann::ordered_json;

// The export's text against the library's own dump of the parsed document.
void expectLibraryText(const CliStore& store, const std::vector<std::string>& args) {
  const std::string text = store.ok(args);
  const Ordered parsed = Ordered::parse(text, nullptr, false);
  ASSERT_FALSE(parsed.is_discarded()) << text;
  EXPECT_EQ(text, parsed.dump(2, ' ', false, Ordered::error_handler_t::replace) + "\n");
  // Whole amounts are still written as floating point ("3600.0"), which a re-dump would not show.
  for (const auto& entry : parsed["entries"]) {
    for (const char* key : {"duration", "rate", "revenue"}) EXPECT_TRUE(entry[key].is_number_float()) << key << text;
  }
}

TEST(CliExportText, SameTextAsTheJsonLibraryForAwkwardValues) {
  CliStore store("America/St_Johns");
  store.okAll({{"folder", "add", "Caf\xC3\xA9 \"Q\""},
               {"task", "add", "Caf\xC3\xA9 \"Q\"/Back\\slash", "--rate", "77.77", "--billable"},
               {"entry", "add", "Caf\xC3\xA9 \"Q\"/Back\\slash", "--from", "2026-07-01 10:00", "--to", "2026-07-01 10:20:34",
                "--notes", "say \"hi\", C:\\dir \xE2\x98\x95"},
               {"entry", "add", "Caf\xC3\xA9 \"Q\"/Back\\slash", "--from", "2026-12-01 08:00", "--to", "2026-12-01 09:00"},
               {"entry", "add", "Caf\xC3\xA9 \"Q\"/Back\\slash", "--from", "2026-03-01 00:00", "--to", "2026-03-20 00:00:01"},
               {"start", "Caf\xC3\xA9 \"Q\"/Back\\slash", "--at", "2026-12-05 08:30"}});
  expectLibraryText(store, {"export", "--year", "2026-01-01", "--format", "json"});
  expectLibraryText(store, {"export", "--year", "2020-01-01", "--format", "json"});  // no entries
  const std::string csv = store.ok({"export", "--year", "2026-01-01", "--format", "csv"});
  EXPECT_NE(csv.find("2026-07-01T10:00:00-02:30,2026-07-01T10:20:34-02:30,1234,true,77.77,26.66,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("2026-12-01T08:00:00-03:30,2026-12-01T09:00:00-03:30,3600,true,77.77,77.77,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(":01-02:30,1638001,true,"), std::string::npos) << "19 days, 1 s, less the lost hour" << csv;
}

TEST(CliExportText, TimesCarryTheZoneOffsetAsIcuWritesIt) {
  struct Case {
    const char* zone;
    const char* from;
    const char* to;
    const char* begin;
  };
  for (const Case& c : {Case{"UTC", "2026-03-01 10:00", "2026-03-01 11:00", "2026-03-01T10:00:00Z"},
                        Case{"Asia/Kathmandu", "2026-03-01 10:00", "2026-03-01 11:00", "2026-03-01T10:00:00+05:45"},
                        Case{"America/Los_Angeles", "2026-03-08 03:00", "2026-03-08 04:00", "2026-03-08T03:00:00-07:00"},
                        Case{"Europe/Berlin", "1850-03-01 10:00", "1850-03-01 11:00", "1850-03-01T10:00:00+00:53"}}) {
    CliStore store(c.zone);
    store.okAll({{"task", "add", "T"}, {"entry", "add", "T", "--from", c.from, "--to", c.to}});
    const auto exported = store.okJson({"export", "--from", "1800-01-01", "--to", "2100-01-01", "--format", "json"});
    EXPECT_EQ(exported["entries"][0]["begin"], c.begin) << c.zone << " " << exported.dump();
  }
}

}  // namespace
}  // namespace chronelle::testing
