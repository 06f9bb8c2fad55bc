#include "chronelle/platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "testsupport/CapturedLogs.h"
#include "testsupport/TempDirectory.h"

namespace chronelle {
namespace {

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(UserDefaults, TypedValuesSurviveAReload) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "nested" / "deeper" / "defaults.json";  // parents missing
  {
    UserDefaults defaults(path);
    defaults.setString("TPCurrentSession", "x-chronelle://S/Session/p1");
    defaults.setInteger("CHColorSetManager.initiationCounter", 7);
    defaults.setDouble("rate", 12.5);
    defaults.setBool("flag", true);
    defaults.setData("blob", {0, 255, 'a', '=', 0});
    defaults.setData("textLike", {'h', 'i'});
    defaults.setValue("list", nlohmann::json::array({1, "two"}));
    defaults.setString("gone", "soon");
    defaults.removeObject("gone");
    ASSERT_TRUE(defaults.synchronize());
  }
  UserDefaults reloaded(path);
  EXPECT_EQ(reloaded.string("TPCurrentSession"), "x-chronelle://S/Session/p1");
  EXPECT_EQ(reloaded.integer("CHColorSetManager.initiationCounter"), 7);
  EXPECT_EQ(reloaded.doubleValue("CHColorSetManager.initiationCounter"), 7.0);
  EXPECT_EQ(reloaded.integer("rate"), 12);
  EXPECT_TRUE(reloaded.boolValue("flag"));
  EXPECT_EQ(reloaded.data("blob"), (UserDefaults::Data{0, 255, 'a', '=', 0}));
  // Data and strings never read as each other, whatever the bytes look like.
  EXPECT_EQ(reloaded.string("textLike"), std::nullopt);
  EXPECT_EQ(reloaded.data("TPCurrentSession"), std::nullopt);
  EXPECT_EQ(reloaded.value("list"), nlohmann::json::array({1, "two"}));
  EXPECT_FALSE(reloaded.contains("gone"));
  EXPECT_EQ(reloaded.integer("missing"), 0);
  EXPECT_FALSE(reloaded.boolValue("missing"));
  EXPECT_EQ(reloaded.string("missing"), std::nullopt);
}

TEST(UserDefaults, SynchronizeReplacesTheFileAtomically) {
  testing::TempDirectory dir;
  const auto path = dir.file("defaults.json");
  writeFile(path, R"({"format":1,"values":{"old":{"type":"string","value":"kept"}}})");
  UserDefaults defaults(path);
  defaults.setInteger("n", 1);
  ASSERT_TRUE(defaults.synchronize());
  // Only the target remains: the temporary file was renamed over it, not left beside it.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"defaults.json"});
  UserDefaults again(path);
  EXPECT_EQ(again.string("old"), "kept");
  EXPECT_EQ(again.integer("n"), 1);

  // A target that cannot be replaced fails cleanly and keeps the values in memory.
  testing::CapturedLogs logs;
  writeFile(dir.file("plain"), "not a directory");
  UserDefaults blocked(dir.file("plain") / "defaults.json");
  blocked.setBool("b", true);
  EXPECT_FALSE(blocked.synchronize());
  EXPECT_TRUE(blocked.boolValue("b"));
  ASSERT_EQ(logs.records("UserDefaults").size(), 1u);
  EXPECT_EQ(logs.records("UserDefaults")[0].level, LogLevel::error);
}

TEST(UserDefaults, CorruptOrTruncatedFilesAreLoggedAndReadAsEmpty) {
  testing::TempDirectory dir;
  const std::string cases[] = {
      R"({"format":1,"values":{"a":{"type":"string","value":"x"}})",  // truncated
      "\x00\x01garbage",
      R"({"format":1,"values":[1,2]})",
      "",
  };
  for (const auto& text : cases) {
    testing::CapturedLogs logs;
    const auto path = dir.file("defaults.json");
    writeFile(path, text);
    UserDefaults defaults(path);
    EXPECT_FALSE(defaults.contains("a")) << text;
    EXPECT_EQ(logs.records("UserDefaults").size(), 1u) << text;
    defaults.setString("a", "fresh");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(path).string("a"), "fresh") << text;
  }
}

}  // namespace
}  // namespace chronelle
