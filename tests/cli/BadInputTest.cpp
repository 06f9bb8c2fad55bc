// Bad input is answered with one line on stderr, the right exit status, and a store left as
// it was.

#include <gtest/gtest.h>

#include <fstream>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

TEST(CliBadInput, UsageErrorsAndFailuresChangeNothing) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work"},
               {"entry", "add", "Client/Work", "--from", "09:00", "--to", "10:00"}, {"start", "Client/Work", "--at", "11:00"}});
  const std::string before = store.snapshot();

  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
    std::string input = "";
  };
  const std::vector<Case> cases = {
      {{"entry", "add", "Client/Nope", "--from", "09:00", "--to", "10:00"}, 2, "candidates: Client/Work"},
      {{"entry", "add", "Client/Work", "--from", "9am", "--to", "10:00"}, 2, "bad time '9am'"},
      {{"entry", "add", "Client/Work", "--from", "10:00", "--to", "09:00"}, 2, "ends before it begins"},
      {{"entry", "add", "Client", "--from", "09:00", "--to", "10:00"}, 2, "no task 'Client'"},
      {{"entry", "edit", "nosuchentry", "--notes", "x"}, 2, "no entry"},
      {{"start", "Nope"}, 2, "no task 'Nope'"},
      {{"frobnicate"}, 2, "unknown command"},
      {{"tree", "--bogus"}, 2, "unknown option '--bogus'"},
      {{"parse", "soon"}, 2, "bad duration"},
      {{"node", "move", "Client", "--to", "Client"}, 2, "into itself"},
      {{"task", "add", "Client/Work"}, 2, "already exists"},
      {{"report", "--by", "colour"}, 2, "--by"},
      {{"report", "--from", "2026-12-05"}, 2, "--to"},
      {{"--tz", "Mars/Olympus", "tree"}, 2, "unknown time zone"},
      {{"--now", "noon", "status"}, 2, "bad time 'noon'"},
      {{"--json", "demo"}, 2, "without --json"},
      {{"parse", "--", "--help"}, 2, "bad duration '--help'"},  // after "--" a word is no option
      {{"prefs", "--rounding", "maybe"}, 2, "--rounding takes on or off"},
      {{"import", "timewarrior", "-"}, 2, "element 2", R"([{"start": "20261201T080000Z", "end": "20261201T090000Z"},
                                                         {"start": "bad"}])"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const CliResult result = store.run(c.args, c.input);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.err.rfind("chronelle: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(store.snapshot(), before);
}

// Names and notes come from anywhere (pasted, piped, imported). What is refused is refused
// with one short printable line that quotes only a prefix, and changes nothing.
TEST(CliBadInput, HostileTextIsRefusedWithOneShortLine) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work"}});
  const std::string before = store.snapshot();
  const std::string huge(100'000, 'x');  // near the limit of one argument
  const std::string hugeAnnotation(2'000'000, 'y');
  struct Case {
    std::vector<std::string> args;
    const char* message;
    std::string input = "";
  };
  const std::vector<Case> cases = {
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
       R"([{"start": "20261201T080000Z", "end": "20261201T090000Z", "annotation": ")" + hugeAnnotation + "\"}]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back().substr(0, 20));
    const CliResult result = store.run(c.args, c.input);
    EXPECT_EQ(result.status, 2) << result.err.substr(0, 300);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err.substr(0, 300);
    EXPECT_LT(result.err.size(), 300u) << result.err.substr(0, 300);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err.substr(0, 300);
  }
  EXPECT_EQ(store.snapshot(), before);
}

TEST(CliBadInput, AmbiguousPathsNameEveryCandidate) {
  CliStore store;
  store.ok({"folder", "add", "A"});
  const auto first = store.okJson({"task", "add", "A/T"});
  const auto second = store.okJson({"task", "add", "A/U"});
  store.ok({"node", "edit", "A/U", "--name", "T"});
  const CliResult result = store.run({"start", "A/T"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("ambiguous"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(first["id"].get<std::string>()), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(second["id"].get<std::string>()), std::string::npos) << result.err;
  EXPECT_EQ(store.okJson({"start", "@" + second["id"].get<std::string>()})["state"], "runningManually");
}

// A store path that is a file is refused and the file kept; help needs no store at all.
TEST(CliBadInput, StoreDirectoryThatIsAFileAndHelp) {
  TempDirectory dir;
  const auto file = dir.file("not-a-directory");
  std::ofstream(file) << "keep me";
  const CliResult result = CliStore::runRaw({"--store", file.string(), "--now", "2026-12-05T12:00", "tree"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("not a directory"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(file), "keep me");
  const CliResult help = CliStore::runRaw({"--store", file.string(), "entry", "--help"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out.rfind("usage:\n  chronelle entry ", 0), 0u) << help.out;
  EXPECT_EQ(CliStore::runRaw({}).status, 2);
  EXPECT_EQ(CliStore::runRaw({"--json", "parse", "1h 30m"}).json()["seconds"], 5400);
}

}  // namespace
}  // namespace chronelle::testing
