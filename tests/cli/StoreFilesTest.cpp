// The CLI on store files it must not trust: stale totals found and repaired by `check`, and
// files that are not a store it can open refused with one line and left unchanged.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

void execSql(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(CliStoreFiles, CheckReportsStaleTotalsAndRepairFixesThem) {
  CliStore store;
  store.ok({"folder", "add", "Client"});
  store.ok({"task", "add", "Client/Work"});
  store.ok({"task", "add", "Solo"});
  store.ok({"entry", "add", "Client/Work", "--from", "09:00", "--to", "10:00"});
  store.ok({"entry", "add", "Solo", "--from", "11:00", "--to", "11:30"});
  EXPECT_EQ(store.ok({"check"}), "all totals match their entries\n");

  // One second too much on the task and a folder total from another store.
  execSql(store.directory() / "chronelle.sqlite",
          "UPDATE ZNODE SET ZCONFIRMEDDURATION = 3601 WHERE ZNAME = 'Work';"
          "UPDATE ZNODE SET ZCONFIRMEDDURATION = 5 WHERE ZNAME = 'Client';");
  const CliResult found = store.run({"check"});
  EXPECT_EQ(found.status, 1);
  EXPECT_EQ(found.out, "Client: stored 0:00:05, entries 1:00:00\nClient/Work: stored 1:00:01, entries 1:00:00\n");
  EXPECT_EQ(found.err, "chronelle: 2 totals differ from the entries; run 'chronelle check --repair'\n");
  const auto json = store.run({"--json", "check"}).json();
  ASSERT_EQ(json["stale"].size(), 2u) << json.dump();
  EXPECT_EQ(json["stale"][1]["path"], "Client/Work");
  EXPECT_EQ(json["stale"][1]["stored"], 3601);
  EXPECT_EQ(json["stale"][1]["expected"], 3600);
  EXPECT_EQ(json["repaired"], false);

  const CliResult repaired = store.run({"check", "--repair"});
  EXPECT_EQ(repaired.status, 0) << repaired.err;
  EXPECT_NE(repaired.out.find("Client/Work: stored 1:00:01, entries 1:00:00 (repaired)"), std::string::npos)
      << repaired.out;
  EXPECT_EQ(store.ok({"check"}), "all totals match their entries\n");
  EXPECT_EQ(store.okJson({"tree"})["nodes"][0]["duration"], 3600);
  EXPECT_EQ(store.run({"check", "extra"}).status, 2);
}

TEST(CliStoreFiles, FilesThatAreNotAUsableStoreAreRefusedWithOneLineAndLeftAlone) {
  // A real store to cut and to age.
  CliStore source;
  source.ok({"task", "add", "Work"});
  source.ok({"entry", "add", "Work", "--from", "09:00", "--to", "10:00"});
  const std::string store = readFile(source.directory() / "chronelle.sqlite");
  ASSERT_GT(store.size(), 8192u);

  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"truncated", [&](const auto& f) { std::ofstream(f, std::ios::binary) << store.substr(0, store.size() / 2); },
       "truncated"},
      {"zero-filled", [](const auto& f) { std::ofstream(f, std::ios::binary) << std::string(8192, '\0'); },
       "only zero bytes"},
      {"not SQLite", [](const auto& f) { std::ofstream(f, std::ios::binary) << "id,task\n1,Work\n"; },
       "not an SQLite database"},
      {"newer version",
       [&](const auto& f) {
         std::ofstream(f, std::ios::binary) << store;
         execSql(f, "UPDATE Z_METADATA SET Z_VALUE = '999' WHERE Z_KEY = 'NSStoreModelVersion';"
                    "UPDATE Z_METADATA SET Z_VALUE = 'future' WHERE Z_KEY = 'NSStoreSchemaHash';"
                    "PRAGMA journal_mode = DELETE;");
       },
       "newer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CliStore target;
    const auto file = target.directory() / "chronelle.sqlite";
    c.make(file);
    const std::string before = readFile(file);
    for (const char* command : {"tree", "check"}) {
      const CliResult result = target.run({command});
      EXPECT_EQ(result.status, 1) << result.err;
      EXPECT_EQ(result.err.rfind("chronelle: ", 0), 0u) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
      EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
      EXPECT_EQ(result.out, "");
    }
    EXPECT_TRUE(readFile(file) == before) << "the file was changed";
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
  }
}

// Text the CLI accepts (line breaks, tabs, any script) and text only another program could
// have written (bytes that are not UTF-8, control characters): every JSON view and every
// export still works, and the JSON stays valid.
TEST(CliStoreFiles, EveryViewAndExportWorksWhateverTheStoreHolds) {
  CliStore store;
  store.ok({"folder", "add", "Kund\xc3\xa9"});
  store.ok({"task", "add", "Kund\xc3\xa9/Work", "--notes", "line one\n\tline two"});
  store.ok({"entry", "add", "Kund\xc3\xa9/Work", "--from", "09:00", "--to", "10:00", "--notes", "a\nb \xe2\x9c\x93"});
  store.ok({"entry", "add", "Kund\xc3\xa9/Work", "--from", "10:00", "--to", "11:00"});
  execSql(store.directory() / "chronelle.sqlite",
          "UPDATE ZNODE SET ZNAME = 'W' || CAST(x'ff1b' AS TEXT) || 'rk' WHERE ZNAME = 'Work';"
          "UPDATE ZSESSION SET ZNOTES = 'cut ' || CAST(x'e29c' AS TEXT) WHERE ZNOTES IS NULL;");
  const std::vector<std::vector<std::string>> views = {
      {"--json", "tree"},   {"--json", "list", "--day", "2026-12-05"},
      {"--json", "status"}, {"--json", "report", "--day", "2026-12-05"},
      {"export", "--format", "json", "--day", "2026-12-05"},
  };
  for (const auto& view : views) {
    SCOPED_TRACE(view[1]);
    const CliResult result = store.run(view);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(result.json().is_null());
  }
  const std::string exported = store.ok({"export", "--format", "json", "--day", "2026-12-05"});
  EXPECT_NE(exported.find("W\xef\xbf\xbd\\u001brk"), std::string::npos) << exported;
  EXPECT_NE(exported.find("cut \xef\xbf\xbd"), std::string::npos) << exported;
  EXPECT_NE(exported.find("a\\nb \xe2\x9c\x93"), std::string::npos) << exported;
  const CliResult csv = store.run({"export", "--format", "csv", "--day", "2026-12-05"});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 4) << csv.out;  // a quoted break
}

}  // namespace
}  // namespace chronelle::testing
