// Bad input is answered with one line on stderr, the right exit status, and a store left as
// it was. Store files the CLI must not trust: stale totals found and repaired by `check`, and
// files that are not a store it can open refused with one line and left unchanged.

#include <gtest/gtest.h>

#include <tuple>

#include "CliRunner.h"
#include "testsupport/SqliteFile.h"

namespace chronelle::testing {
namespace {

// Names and notes come from anywhere (pasted, piped, imported): what is refused is refused
// with one short printable line that quotes only a prefix.
TEST(CliBadInput, UsageErrorsAndHostileTextAreRefusedWithOneShortLineAndChangeNothing) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work"}, {"folder", "add", "A"},
               {"entry", "add", "Client/Work", "--from", "09:00", "--to", "10:00"}, {"start", "Client/Work", "--at", "11:00"}});
  const std::vector<std::string> ids = {store.okJson({"task", "add", "A/T"})["id"], store.okJson({"task", "add", "A/U"})["id"]};
  store.ok({"node", "edit", "A/U", "--name", "T"});  // two tasks A/T: a path that names either is ambiguous
  const std::string before = store.snapshot();
  const std::string huge(100'000, 'x');  // near the limit of one argument
  struct Case {
    std::vector<std::string> args;
    const char* message;
    std::string input = "";
  };
  const std::vector<Case> cases = {
      {{"entry", "add", "Client/Nope", "--from", "09:00", "--to", "10:00"}, "candidates: Client/Work"},
      {{"entry", "add", "Client/Work", "--from", "9am", "--to", "10:00"}, "bad time '9am'"},
      {{"entry", "add", "Client/Work", "--from", "10:00", "--to", "09:00"}, "ends before it begins"},
      {{"entry", "add", "Client", "--from", "09:00", "--to", "10:00"}, "no task 'Client'"},
      {{"entry", "edit", "nosuchentry", "--notes", "x"}, "no entry"},
      {{"start", "Nope"}, "no task 'Nope'"}, {{"start", "A/T"}, "ambiguous"},
      {{"frobnicate"}, "unknown command"}, {{"tree", "--bogus"}, "unknown option '--bogus'"},
      {{"parse", "soon"}, "bad duration"}, {{"task", "add", "Client/Work"}, "already exists"},
      {{"node", "move", "Client", "--to", "Client"}, "into itself"},
      {{"report", "--by", "colour"}, "--by"}, {{"report", "--from", "2026-12-05"}, "--to"},
      {{"--tz", "Mars/Olympus", "tree"}, "unknown time zone"},
      {{"--now", "noon", "status"}, "bad time 'noon'"},
      {{"--json", "demo"}, "without --json"},
      {{"parse", "--", "--help"}, "bad duration '--help'"},  // after "--" a word is no option
      {{"prefs", "--rounding", "maybe"}, "--rounding takes on or off"},
      {{"import", "timewarrior", "-"}, "element 2",
       R"([{"start": "20261201T080000Z", "end": "20261201T090000Z"}, {"start": "bad"}])"},
      {{"folder", "add", "A\x1b[2J"}, "bad name 'A\\x1b[2J': it holds a control character"},
      {{"task", "add", "Client/\xff\xfe"}, "bad name '\\xff\\xfe': it is not UTF-8 text"},
      {{"task", "add", "Client/" + huge}, "bad name 'xxxxx"},
      {{"task", "add", "Client/\xc2\x9b"}, "control character"},  // C1 control, valid UTF-8
      {{"node", "edit", "Client/Work", "--name", "two\nlines"}, "bad name 'two\\nlines'"},
      {{"task", "add", "Client/Other", "--notes", "\x07"}, "bad notes"},
      {{"entry", "add", "Client/Work", "--from", "09:00", "--to", "10:00", "--notes", "\xed\xa0\x80"},
       "not UTF-8"},  // an encoded surrogate
      {{"entry", "add", "Client/Work", "--from", "09:00", "--to", "10:00", "--notes", huge}, "longer than"},
      {{"start", huge}, "no task 'xxxxx"},
      {{"parse", "\x1b]0;owned\x07"}, "bad duration '\\x1b]0;owned\\x07'"},
      {{"rule", "add", "Client/Work", "--type", "0", "--app", "x\xff\x1b"}, "bad --app"},
      {{"rule", "add", "Client/Work", "--type", "0", "--set", "k=\x1b[2J"}, "bad --set"},
      {{"activity", "add", "--from", "09:00", "--title", "\xc3"}, "bad --title"},
      {{"activity", "add", "--from", "09:00", "--url", huge}, "bad --url 'xxxxx"},
      {{"import", "timewarrior", "-"}, "longer than",
       R"([{"start": "20261201T080000Z", "end": "20261201T090000Z", "annotation": ")" + std::string(2'000'000, 'y') + "\"}]"},
  };
  for (const auto& c : cases) {
    const CliResult result = store.run(c.args, c.input);
    const std::string err = result.err.substr(0, 300);
    EXPECT_TRUE(result.status == 2 && result.err.rfind("chronelle: ", 0) == 0 && result.err.size() < 300 &&
                std::count(result.err.begin(), result.err.end(), '\n') == 1 && err.find(c.message) != std::string::npos)
        << c.args.front() << " " << c.args.back().substr(0, 20) << ": " << result.status << " " << err;
  }
  EXPECT_EQ(store.snapshot(), before);
  // An ambiguous path names every candidate.
  const std::string ambiguous = store.run({"start", "A/T"}).err;
  EXPECT_TRUE(ambiguous.find(ids[0]) != std::string::npos && ambiguous.find(ids[1]) != std::string::npos) << ambiguous;
}

// A store changed behind the CLI's back: stale totals are found by `check` and fixed by
// `check --repair`; text only another program could have written (bytes that are not UTF-8,
// control characters) beside text the CLI accepts (line breaks, tabs, any script) leaves every
// JSON view and export working, and the JSON valid.
TEST(CliStoreFiles, StaleTotalsAreRepairedAndOddTextStaysValidJson) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work", "--notes", "one\n\ttwo"},
               {"task", "add", "Odd"}, {"entry", "add", "Odd", "--from", "11:00", "--to", "11:30"},
               {"entry", "add", "Client/Work", "--from", "09:00", "--to", "10:00", "--notes",
                "a\nb \xe2\x9c\x93"}});
  EXPECT_EQ(store.ok({"check"}), "all totals match their entries\n");

  // One second too much on the task and a folder total from another store.
  execSql(store.directory() / "chronelle.sqlite",
          "UPDATE ZNODE SET ZCONFIRMEDDURATION = 3601 WHERE ZNAME = 'Work';"
          "UPDATE ZNODE SET ZCONFIRMEDDURATION = 5 WHERE ZNAME = 'Client';"
          "UPDATE ZNODE SET ZNAME = 'O' || CAST(x'ff1b' AS TEXT) || 'dd' WHERE ZNAME = 'Odd';"
          "UPDATE ZSESSION SET ZNOTES = 'cut ' || CAST(x'e29c' AS TEXT) WHERE ZNOTES IS NULL;");
  const CliResult found = store.run({"check"});
  EXPECT_EQ(std::tuple(found.status, found.out, found.err),
            std::tuple(1, "Client: stored 0:00:05, entries 1:00:00\nClient/Work: stored 1:00:01, entries 1:00:00\n",
                       "chronelle: 2 totals differ from the entries; run 'chronelle check --repair'\n"));
  expectParts(store.run({"--json", "check"}).json(),
              R"({"stale": [{}, {"path": "Client/Work", "stored": 3601, "expected": 3600}], "repaired": false})");
  const CliResult repaired = store.run({"check", "--repair"});
  EXPECT_TRUE(repaired.status == 0 && repaired.out.find("Client/Work: stored 1:00:01, entries 1:00:00 (repaired)") !=
                                          std::string::npos) << repaired.out << repaired.err;
  EXPECT_EQ(store.ok({"check"}), "all totals match their entries\n");

  const std::vector<std::vector<std::string>> views = {{"--json", "tree"}, {"--json", "status"},
      {"--json", "list", "--day", "2026-12-05"}, {"--json", "report", "--day", "2026-12-05"}};
  for (const auto& view : views) {
    const CliResult result = store.run(view);
    EXPECT_TRUE(result.status == 0 && !result.json().is_null()) << view[1] << ": " << result.err;
  }
  const std::string exported = store.ok({"export", "--format", "json", "--day", "2026-12-05"});
  EXPECT_FALSE((CliResult{0, exported, ""}.json().is_null()));
  for (const char* part : {"O\xef\xbf\xbd\\u001bdd", "cut \xef\xbf\xbd", "a\\nb \xe2\x9c\x93"}) {
    EXPECT_NE(exported.find(part), std::string::npos) << exported;
  }
  const std::string csv = store.ok({"export", "--format", "csv", "--day", "2026-12-05"});
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv;  // a quoted break
}

TEST(CliStoreFiles, FilesThatAreNotAUsableStoreAreRefusedWithOneLineAndLeftAlone) {
  // A real store to cut and to age.
  CliStore source;
  source.okAll({{"task", "add", "Work"}, {"entry", "add", "Work", "--from", "09:00", "--to", "10:00"}, {"check"}});
  const std::string store = readFile(source.directory() / "chronelle.sqlite");
  ASSERT_GT(store.size(), 8192u);
  {
    // The newest commits stay in the log beside the file; `check` puts them into the file, so
    // that the file alone holds the entry and its task's total.
    CliStore copy;
    writeFile(copy.directory() / "chronelle.sqlite", store);
    copy.expectJson({"tree"}, R"({"nodes": [{"name": "Work", "duration": 3600}]})");
  }

  // Each file's content and what its refusal names; the last is the store marked as written by
  // a newer version.
  const std::vector<std::pair<std::string, const char*>> cases = {
      {store.substr(0, store.size() / 2), "truncated"}, {std::string(8192, '\0'), "only zero bytes"},
      {"id,task\n1,Work\n", "not an SQLite database"}, {store, "newer"}};
  for (const auto& [content, reason] : cases) {
    SCOPED_TRACE(reason);
    CliStore target;
    const auto file = target.directory() / "chronelle.sqlite";
    writeFile(file, content);
    if (std::string(reason) == "newer") {
      execSql(file, "UPDATE Z_METADATA SET Z_VALUE = '999' WHERE Z_KEY = 'NSStoreModelVersion';"
                    "UPDATE Z_METADATA SET Z_VALUE = 'future' WHERE Z_KEY = 'NSStoreSchemaHash';"
                    "PRAGMA journal_mode = DELETE;");
    }
    const std::string before = readFile(file);
    for (const char* command : {"tree", "check"}) {
      const CliResult result = target.run({command});
      EXPECT_TRUE(result.status == 1 && result.err.rfind("chronelle: ", 0) == 0 && result.out.empty() &&
                  std::count(result.err.begin(), result.err.end(), '\n') == 1 && result.err.find(reason) != std::string::npos)
          << command << ": " << result.status << " " << result.err;
    }
    EXPECT_TRUE(readFile(file) == before) << "the file was changed";
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
  }
  // A store directory that is a file is refused too, and the file kept.
  const auto file = source.directory() / "not-a-directory";
  writeFile(file, "keep me");
  const CliResult result = CliStore::runRaw({"--store", file.string(), "tree"});
  EXPECT_TRUE(result.status == 1 && result.err.find("not a directory") != std::string::npos)
      << result.err;
  EXPECT_EQ(readFile(file), "keep me");
}

}  // namespace
}  // namespace chronelle::testing
