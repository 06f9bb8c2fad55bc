// The export is written entry by entry rather than through a JSON document; its text must stay
// what the JSON library writes for the same document (layout, numbers, escapes), and its times
// what ICU writes, in zones with odd offsets too.

#include <gtest/gtest.h>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

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
