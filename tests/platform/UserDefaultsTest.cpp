#include "chronelle/platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <thread>
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
  // Only the target and the writers' lock file remain: the temporary file was renamed over
  // the target, not left beside it.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"defaults.json", "defaults.json.lock"}));
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

// Files that parse as JSON but hold entries no writer of ours produces (found by the
// user-defaults fuzzer): every getter answers without throwing or undefined behaviour.
TEST(UserDefaultsHostileFile, OddEntriesReadWithoutThrowing) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  const struct {
    const char* entry;  // the value of key "a"
    std::optional<std::string> string;
    std::int64_t integer;
  } cases[] = {
      {R"({"type":1,"value":"x"})", std::nullopt, 0},  // a tag that is not a string
      {R"({"type":null,"value":"5"})", std::nullopt, 5},
      {R"({"type":"string","value":"1e300"})", "1e300", kMax},
      {R"({"type":"double","value":1e300})", std::nullopt, kMax},
      {R"({"type":"double","value":-1e300})", std::nullopt, kMin},
      {R"({"type":"data","value":"!!"})", std::nullopt, 0},
      {R"({"value":{"nested":[1]}})", std::nullopt, 0},
  };
  testing::TempDirectory dir;
  const auto path = dir.file("defaults.json");
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << R"({"format":1,"values":{"a":)" << c.entry << "}}";
    const UserDefaults defaults(path);
    try {
      EXPECT_TRUE(defaults.contains("a")) << c.entry;
      EXPECT_EQ(defaults.string("a"), c.string) << c.entry;
      EXPECT_EQ(defaults.integer("a"), c.integer) << c.entry;
      EXPECT_EQ(defaults.data("a"), std::nullopt) << c.entry;
      (void)defaults.doubleValue("a");
      (void)defaults.boolValue("a");
      (void)defaults.value("a");
    } catch (const std::exception& e) {
      ADD_FAILURE() << c.entry << " threw " << e.what();
    }
  }
}

// Two processes (two CLI calls, the application beside the CLI) each hold their own instance
// on one file; neither may revert what the other wrote.
TEST(UserDefaults, TwoWritersKeepEachOthersKeys) {
  testing::TempDirectory dir;
  const auto path = dir.file("defaults.json");
  {
    UserDefaults seed(path);
    seed.setInteger("CHColorSetManager.initiationCounter", 3);
    seed.setString("old", "to remove");
    ASSERT_TRUE(seed.synchronize());
  }
  UserDefaults first(path);
  UserDefaults second(path);

  first.setString("TPCurrentSession", "s1");
  first.removeObject("old");
  ASSERT_TRUE(first.synchronize());
  // A reader sees the other writer's newer values at once.
  EXPECT_EQ(second.string("TPCurrentSession"), "s1");
  EXPECT_FALSE(second.contains("old"));

  second.setString("TPCurrentTask", "t1");
  second.setInteger("CHColorSetManager.initiationCounter", 4);
  // An unwritten change of this instance wins over what the other wrote meanwhile...
  first.setString("TPCurrentTask", "stale");
  first.removeObject("TPCurrentTask");
  ASSERT_TRUE(second.synchronize());
  EXPECT_FALSE(first.contains("TPCurrentTask"));
  EXPECT_EQ(first.integer("CHColorSetManager.initiationCounter"), 4);
  // ...and is what the file holds after it is written.
  ASSERT_TRUE(first.synchronize());

  UserDefaults reread(path);
  EXPECT_EQ(reread.string("TPCurrentSession"), "s1");
  EXPECT_FALSE(reread.contains("TPCurrentTask"));
  EXPECT_FALSE(reread.contains("old"));
  EXPECT_EQ(reread.integer("CHColorSetManager.initiationCounter"), 4);
}

// Writers racing on one file, each with its own instance as separate processes have: the
// lock makes each read-merge-write one step, so no key is lost.
TEST(UserDefaults, ConcurrentWritersLoseNoKey) {
  testing::TempDirectory dir;
  const auto path = dir.file("defaults.json");
  constexpr int kWriters = 3;
  constexpr int kKeysEach = 25;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&path, w] {
      UserDefaults defaults(path);
      for (int k = 0; k < kKeysEach; ++k) {
        defaults.setInteger("w" + std::to_string(w) + "." + std::to_string(k), k);
        defaults.synchronize();
      }
    });
  }
  for (auto& writer : writers) writer.join();
  UserDefaults reread(path);
  for (int w = 0; w < kWriters; ++w)
    for (int k = 0; k < kKeysEach; ++k)
      EXPECT_TRUE(reread.contains("w" + std::to_string(w) + "." + std::to_string(k)))
          << "writer " << w << " key " << k;
}

}  // namespace
}  // namespace chronelle
