// The command line's own parsers: times in a zone, global options, arguments, timewarrior
// documents.

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "Arguments.h"
#include "CliError.h"
#include "GlobalOptions.h"
#include "TimeParser.h"
#include "TimewarriorImport.h"

namespace chronelle::cli {
namespace {

TEST(CliTimeParser, ReadsEveryFormInTheCalendarsZone) {
  // Now is 2026-03-29 12:00 in Berlin, the day the clocks jump from 02:00 to 03:00.
  const Calendar berlin("Europe/Berlin");
  const TimeParser parser(berlin, Date::fromSecondsSince1970(1774778400));  // 2026-03-29T10:00:00Z
  const std::pair<const char*, const char*> cases[] = {
      {"2026-12-05T09:30", "2026-12-05T08:30:00Z"},       {"2026-12-05 09:30", "2026-12-05T08:30:00Z"},
      {"2026-12-05 09:30:15", "2026-12-05T08:30:15Z"},    {"2026-07-01T09:30", "2026-07-01T07:30:00Z"},
      {"2026-12-05T09:30Z", "2026-12-05T09:30:00Z"},      {"2026-12-05T09:30+05:30", "2026-12-05T04:00:00Z"},
      {"2026-12-05T09:30-02:00", "2026-12-05T11:30:00Z"}, {"2026-12-05", "2026-12-04T23:00:00Z"},
      {"09:30", "2026-03-29T07:30:00Z"},                  {"01:30", "2026-03-29T00:30:00Z"},
      {"02:30", "2026-03-29T01:00:00Z"},  // inside the gap: moved past it to 03:00 CEST
      {"now", "2026-03-29T10:00:00Z"},
  };
  for (const auto& [text, expectedUtc] : cases) {
    EXPECT_EQ(parser.parseTime(text).isoString(), expectedUtc) << text;
  }
}

TEST(CliTimeParser, RefusesMalformedTimesDurationsAndAmountsAsUsageErrors) {
  const TimeParser parser(Calendar("Europe/Berlin"), Date::fromSecondsSince1970(1796472000));  // 2026-12-05T12:00Z
  for (const char* text : {"", "tomorrow", "2026-13-01", "2026-02-30", "2026-02-29 10:00", "2026-12-05T24:00",
                           "2026-12-05T09:60", "9:30", "2026-12-05T09:30+1", "2026-12-05Z", "2026-12-05T09:30:00.5",
                           "2026-12-05 09:30 ", "12/05/2026"}) {
    try {
      parser.parseTime(text);
      ADD_FAILURE() << "accepted " << text;
    } catch (const CliError& e) {
      EXPECT_TRUE(e.exitStatus() == 2 && std::string(e.what()).find(text) != std::string::npos) << e.what();
    }
  }
  // Durations and amounts are refused as such too.
  EXPECT_EQ(std::pair(TimeParser::parseDuration("1h30m"), TimeParser::parseAmount("72,5")),
            std::pair(5400.0, 72.5));
  for (const char* bad : {"", "abc", "-5"}) EXPECT_THROW(TimeParser::parseDuration(bad), CliError) << bad;
  for (const char* bad : {"", "abc", "-5", "inf"}) EXPECT_THROW(TimeParser::parseAmount(bad), CliError) << bad;
}

TEST(CliArguments, GlobalOptionsGoAnywhereAndFallBackToTheEnvironment) {
  std::map<std::string, std::string> env = {{"HOME", "/home/u"}, {"TZ", ":Europe/Paris"}, {"CHRONELLE_NOW", "09:00"}};
  const auto lookup = [&](const char* name) -> std::optional<std::string> {
    const auto found = env.find(name);
    return found == env.end() ? std::nullopt : std::optional<std::string>(found->second);
  };
  const auto summary = [](const GlobalOptions& o) {
    return ::testing::PrintToString(
        std::tuple(o.storeDirectory, o.storeGiven, o.json, o.now, o.timeZone, o.firstWeekday, o.command));
  };
  auto options = GlobalOptions::parse({"report", "--json", "--month", "--week-start=Mon"}, lookup);
  EXPECT_EQ(summary(options), summary({.storeDirectory = "/home/u/.local/share/chronelle", .storeGiven = false,
                                       .json = true, .now = "09:00", .timeZone = "Europe/Paris", .firstWeekday = 2,
                                       .command = {"report", "--month"}}));
  env["CHRONELLE_HOME"] = "/data/ch";
  options = GlobalOptions::parse({"--store", "/s", "--tz", "UTC", "--now", "2026-01-01", "tree"}, lookup);
  EXPECT_EQ(summary(options), summary({.storeDirectory = "/s", .storeGiven = true, .json = false, .now = "2026-01-01",
                                       .timeZone = "UTC", .firstWeekday = options.firstWeekday, .command = {"tree"}}));
  options = GlobalOptions::parse({"tree", "--", "--json"}, lookup);
  EXPECT_TRUE(options.storeDirectory == "/data/ch" && !options.json) << "options end at --";
  for (const auto& bad : {std::vector<std::string>{"tree", "--store"}, {"--week-start", "someday", "tree"}}) {
    EXPECT_THROW(GlobalOptions::parse(bad, lookup), CliError);
  }
  EXPECT_EQ(std::vector({GlobalOptions::weekdayNumber("SUNDAY"), GlobalOptions::weekdayNumber("sat"),
                         GlobalOptions::weekdayNumber("su")}),
            std::vector<std::optional<int>>({1, 7, std::nullopt}));

  // A command's own arguments: options with values, flags and positionals.
  const Arguments::Spec spec{{"from", "node"}, {"all"}, {"day"}};
  const Arguments args({"a", "--from", "09:00", "--node=X/Y", "--node", "Z", "--all", "--day", "--", "--b", "-"},
                       spec);
  EXPECT_EQ(std::tuple(args.value("from"), args.values("node"), args.has("all"), args.value("day"), args.positionals()),
            std::tuple("09:00", std::vector<std::string>{"X/Y", "Z"}, true, "", std::vector<std::string>{"a", "--b", "-"}));
  EXPECT_EQ(Arguments({"--day", "2026-12-01"}, spec).value("day"), "2026-12-01");
  for (const char* bad : {"--unknown", "--from", "--all=1", "-x"}) EXPECT_THROW(Arguments({bad}, spec), CliError) << bad;
  EXPECT_THROW(Arguments({"a", "b"}, spec).expectPositionals(1, 1, "x"), CliError);
}

TEST(CliTimewarrior, RefusalsNameTheFirstBadElement) {
  const std::pair<const char*, const char*> cases[] = {
      {"{}", "array"},
      {"[1", "not JSON"},
      {R"([{"start": "20240301T080600Z", "end": "20240301T090000Z"}, 5])", "element 2: not an object"},
      {R"([{"end": "20240301T090000Z"}])", "element 1: missing \"start\""},
      {R"([{"start": "2024-03-01T08:06:00Z"}])", "element 1: bad \"start\""},
      {R"([{"start": "20240230T080600Z"}])", "element 1: bad \"start\""},
      {R"([{"start": "20240301T080600Z", "end": "20240301T070000Z"}])", "element 1: ends before it starts"},
      {R"([{"start": "20240301T080600Z"}, {"start": "20240301T090000Z"}])", "element 1: an open interval"},
      {R"([{"start": "20240301T080600Z", "tags": [1]}])", "element 1: a tag is not a string"},
      {R"([{"start": "20240301T080600Z", "tags": ["a/b"]}])", "element 1: bad first tag 'a/b'"},
      // Hostile text: refused with a short, printable quote of it.
      {R"([{"start": "20240301T080600Z", "tags": ["a\u001b[2Jb"]}])", "first tag 'a\\x1b[2Jb': it holds a control"},
      {R"([{"start": "20240301T080600Z", "tags": ["T", "x\u0000"]}])", "annotation and tags '#x\\x00'"},
      {"[{\"start\": \"20240301T080600Z\", \"tags\": [\"\xff\"]}]", "not JSON"},
  };
  for (const auto& [document, expected] : cases) {
    try {
      parseTimewarriorExport(document);
      ADD_FAILURE() << "accepted " << document;
    } catch (const CliError& e) {
      EXPECT_TRUE(std::string(e.what()).find(expected) != std::string::npos && e.exitStatus() == 2) << e.what();
    }
  }
}

}  // namespace
}  // namespace chronelle::cli
