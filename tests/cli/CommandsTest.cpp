// Tree and entry commands, export and import through the built binary, with their JSON shapes.

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
  auto nodes = store.okJson({"tree"})["nodes"];
  ASSERT_EQ(nodes.size(), 5u) << nodes.dump();
  // The rate is inherited from Acme.
  EXPECT_EQ(withoutId(nodes[2]), json::parse(R"({"archived": false, "billable": true, "duration": 0,
      "hasChildren": false, "kind": "task", "level": 2, "name": "Design", "path": "Acme/Web/Design", "rate": 90})"));
  EXPECT_EQ(nodes[3]["rate"], 70.0);
  EXPECT_EQ(nodes[1]["hasChildren"], true);
  EXPECT_EQ(nodes[4]["billable"], false);

  // Rename, move to the top at position 0, by identifier.
  const std::string supportId = nodes[3]["id"];
  store.okAll({{"node", "edit", "@" + supportId, "--name", "Helpdesk", "--inherit-rate"},
               {"node", "move", "Acme/Helpdesk", "--top", "--at", "0"}});
  nodes = store.okJson({"tree"})["nodes"];
  EXPECT_EQ(nodes[0]["path"], "Helpdesk");
  EXPECT_EQ(nodes[0]["rate"], 0.0);

  // Archived nodes leave the tree unless --all; unarchive brings them back.
  store.ok({"node", "archive", "Inbox"});
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 4u);
  nodes = store.okJson({"tree", "--all"})["nodes"];
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes.back()["archived"], true);
  store.ok({"node", "unarchive", "Inbox"});
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 5u);
  // Several nodes at once: still one JSON document for the command.
  const auto both = store.okJson({"node", "archive", "Inbox", "Acme/Web"})["nodes"];
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[1]["path"], "Acme/Web");
  EXPECT_EQ(both[1]["archived"], true);
  store.okAll({{"node", "unarchive", "Inbox", "Acme/Web"}, {"node", "sort"}});
  nodes = store.okJson({"tree"})["nodes"];
  EXPECT_EQ(nodes[0]["name"], "Acme");
  EXPECT_EQ(nodes.back()["name"], "Inbox");

  EXPECT_EQ(store.okJson({"node", "delete", "Acme/Web"})["deleted"], json{"Acme/Web"});
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
  // The entry across midnight counts in each day for its part.
  EXPECT_EQ(store.okJson({"report", "--day", "2026-12-04"})["summary"]["duration"], 3600);
  EXPECT_EQ(store.okJson({"report", "--day", "2026-12-05"})["summary"]["duration"], 5400);
  // The day list shows it once per day, newest day first, with its edges.
  const auto sections = store.okJson({"list", "--week"})["sections"];
  ASSERT_EQ(sections.size(), 2u) << sections.dump();
  EXPECT_EQ(sections[0]["name"], "2026-12-05");
  EXPECT_EQ(sections[0]["fragments"][0]["from"], "2026-12-05T00:00:00+01:00");
  EXPECT_EQ(sections[0]["fragments"][0]["edge"], "before");
  EXPECT_EQ(sections[0]["fragments"][0]["duration"], 5400);
  EXPECT_EQ(sections[1]["name"], "2026-12-04");
  EXPECT_EQ(sections[1]["fragments"][0]["edge"], "after");
  EXPECT_EQ(sections[1]["fragments"][0]["entry"], entry["id"]);

  const std::string id = entry["id"];
  entry = store.okJson({"entry", "edit", id.substr(0, 8), "--to", "2026-12-05 00:30", "--status", "billed", "--no-notes"});
  EXPECT_EQ(entry["duration"], 5400);
  EXPECT_EQ(entry["status"], "billed");
  EXPECT_TRUE(entry["notes"].is_null());
  const auto copy = store.okJson({"entry", "duplicate", id});
  EXPECT_NE(copy["id"], id);
  EXPECT_EQ(withoutId(copy), withoutId(entry));

  const auto a = store.okJson({"entry", "add", "Work", "--from", "2026-12-05 09:00", "--to", "10:00"});
  const auto b = store.okJson({"entry", "add", "Other", "--from", "11:00", "--to", "11:30"});
  auto merged = store.okJson({"entry", "merge", a["id"], b["id"], "--into", "Other", "--push"});
  EXPECT_EQ(merged["task"], "Other");
  EXPECT_EQ(merged["begin"], "2026-12-05T09:00:00+01:00");
  EXPECT_EQ(merged["duration"], 5400);
  const auto c = store.okJson({"entry", "add", "Work", "--from", "13:00", "--to", "13:30"});
  merged = store.okJson({"entry", "merge", merged["id"], c["id"], "--into", "Work", "--fill"});
  EXPECT_EQ(merged["end"], "2026-12-05T13:30:00+01:00");
  EXPECT_EQ(merged["duration"], 4.5 * 3600);

  store.ok({"entry", "delete", merged["id"], copy["id"]});
  const auto all = store.okJson({"export", "--from", "2026-12-01", "--to", "2026-12-31", "--format", "json"});
  ASSERT_EQ(all["entries"].size(), 1u) << all.dump();
  EXPECT_EQ(all["entries"][0]["id"], id);
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
  const auto summary = result.json();
  EXPECT_EQ(summary["imported"], 3);
  EXPECT_EQ(summary["createdTasks"], (json{"Reading", "Untagged"}));
  EXPECT_EQ(summary["running"]["task"], "Reading");

  const auto status = store.okJson({"status"});
  EXPECT_EQ(status["state"], "runningManually");
  EXPECT_EQ(status["entry"]["duration"], 3600) << "now is 11:00 UTC";
  const auto entries = store.okJson({"export", "--week", "--format", "json"})["entries"];
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0]["task"], "Writing");
  EXPECT_EQ(entries[0]["notes"], "chapter 3 #book");
  EXPECT_EQ(entries[0]["duration"], 5400);
  EXPECT_EQ(store.okJson({"tree"})["nodes"].size(), 3u);
}

}  // namespace
}  // namespace chronelle::testing
