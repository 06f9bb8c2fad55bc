// Tree, entry and timer commands, export and import through the built binary, with their
// JSON shapes. Every command is a new process: the timer finds the entry the last one left
// running, and pausing applies the rounding preferences kept in the store.

#include <gtest/gtest.h>

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
  store.okAll({{"node", "edit", "@" + supportId, "--name", "Helpdesk", "--inherit-rate"},
               {"node", "move", "Acme/Helpdesk", "--top", "--at", "0"}});
  store.expectJson({"tree"}, R"({"nodes": [{"path": "Helpdesk", "rate": 0.0}, {}, {}, {}, {}]})");
  // Archived nodes leave the tree unless --all; unarchive brings them back. Several nodes at
  // once still make one JSON document.
  store.ok({"node", "archive", "Inbox"});
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 4u);
  store.expectJson({"tree", "--all"}, R"({"nodes": [{}, {}, {}, {}, {"archived": true}]})");
  store.ok({"node", "unarchive", "Inbox"});
  store.expectJson({"node", "archive", "Inbox", "Acme/Web"}, R"({"nodes": [{}, {"path": "Acme/Web", "archived": true}]})");
  store.okAll({{"node", "unarchive", "Inbox", "Acme/Web"}, {"node", "sort"}});
  store.expectJson({"tree"}, R"({"nodes": [{"name": "Acme"}, {}, {}, {}, {"name": "Inbox"}]})");
  store.expectJson({"node", "delete", "Acme/Web"}, R"({"deleted": ["Acme/Web"]})");
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 3u) << "the folder went with its task";
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
  // The entry across midnight counts in each day for its part; the day list shows it once per
  // day, newest day first, with its edges.
  store.expectJson({"report", "--day", "2026-12-04"}, R"({"summary": {"duration": 3600}})");
  store.expectJson({"report", "--day", "2026-12-05"}, R"({"summary": {"duration": 5400}})");
  store.expectJson({"list", "--week"}, R"({"sections": [{"name": "2026-12-05", "fragments": [{"from":
      "2026-12-05T00:00:00+01:00", "edge": "before", "duration": 5400}]}, {"name": "2026-12-04", "fragments":
      [{"edge": "after", "entry": ")" + id + R"("}]}]})");

  entry = store.okJson({"entry", "edit", id.substr(0, 8), "--to", "2026-12-05 00:30", "--status", "billed", "--no-notes"});
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
    {"id": 3, "start": "20261203T080000Z", "end": "20261203T093000Z", "tags": ["Writing", "book"],
     "annotation": "chapter 3"},
    {"id": 2, "start": "20261204T080000Z", "end": "20261204T083000Z"},
    {"id": 1, "start": "20261205T100000Z", "tags": ["Reading"]}
  ])");
  ASSERT_EQ(result.status, 0) << result.err;
  expectParts(result.json(), R"({"imported": 3, "createdTasks": ["Reading", "Untagged"], "running": {"task": "Reading"}})");
  // Now is 11:00 UTC.
  store.expectJson({"status"}, R"({"state": "runningManually", "entry": {"duration": 3600}})");
  store.expectJson({"export", "--week", "--format", "json"},
             R"({"entries": [{"task": "Writing", "notes": "chapter 3 #book", "duration": 5400}, {}, {}]})");
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 3u);
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
      {"09:22", {"status"}, R"({"state": "paused"})"},
      // toggle starts again on the current task; with a minimum length a short entry is dropped.
      {"09:22", {"prefs", "--min", "5m"}, "{}"},
      {"10:00", {"toggle"}, R"({"state": "runningManually"})"},
      {"10:03", {"toggle"}, R"({"state": "idleWithTask", "entry": null})"},
      {"10:03", {"export", "--day", "--format", "json"}, R"({"entries": [{"duration": 1800}]})"},
      // A pause at an explicit time, and clear keeps the task.
      {"11:00", {"start", "--at", "10:40"}, "{}"},
      {"11:00", {"pause", "--at", "10:52"}, R"({"entry": {"begin": "2026-12-05T10:40:00+01:00", "duration": 900}})"},
      {"11:00", {"clear"}, R"({"state": "idleWithTask", "task": "Client/Work", "entry": null})"},
      {"11:00", {"status"}, R"({"state": "idleWithTask"})"},
      {"11:00", {"start", "Client/Work", "--auto"}, R"({"state": "runningAutotracked", "entry": {"autotracked": true}})"},
  };
  for (const auto& [now, args, expected] : steps) {
    store.setNow(std::string("2026-12-05T") + now);
    SCOPED_TRACE(now);
    store.expectJson(args, expected);
  }
  // Nothing to pause is a failure.
  const CliResult pause = CliStore().run({"pause"});
  EXPECT_EQ(pause.status, 1);
  EXPECT_EQ(pause.err.rfind("chronelle: ", 0), 0u) << pause.err;
}

}  // namespace
}  // namespace chronelle::testing
