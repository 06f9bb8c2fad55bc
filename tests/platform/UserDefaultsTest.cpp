#include "chronelle/platform/UserDefaults.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <limits>
#include <set>
#include <thread>
#include <tuple>
#include <nlohmann/json.hpp>

#include "testsupport/CapturedLogs.h"
#include "testsupport/FileContent.h"
#include "testsupport/TempDirectory.h"

namespace chronelle {
namespace {

using testing::writeFile;

TEST(UserDefaults, TypedValuesSurviveAReloadOfAnAtomicallyReplacedFile) {
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
  // Only the target and the writers' lock file remain: the temporary file was renamed over
  // the target, not left beside it.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path())) {
    names.insert(entry.path().filename());
  }
  EXPECT_EQ(names, (std::set<std::string>{"defaults.json", "defaults.json.lock"}));
  const UserDefaults reloaded(path);
  EXPECT_EQ(reloaded.string("TPCurrentSession"), "x-chronelle://S/Session/p1");
  EXPECT_EQ(std::tuple(reloaded.integer("CHColorSetManager.initiationCounter"),
                       reloaded.doubleValue("CHColorSetManager.initiationCounter"),
                       reloaded.integer("rate"), reloaded.boolValue("flag"),
                       reloaded.integer("missing"), reloaded.boolValue("missing")),
            std::tuple(7, 7.0, 12, true, 0, false));
  EXPECT_EQ(reloaded.data("blob"), (UserDefaults::Data{0, 255, 'a', '=', 0}));
  // Data and strings never read as each other, whatever the bytes look like.
  EXPECT_EQ(std::tuple(reloaded.string("textLike"), reloaded.data("TPCurrentSession")),
            std::tuple(std::nullopt, std::nullopt));
  EXPECT_EQ(reloaded.value("list"), nlohmann::json::array({1, "two"}));
  EXPECT_FALSE(reloaded.contains("gone") || reloaded.string("missing"));

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

// Files no writer of ours produces: corrupt or truncated ones are logged and read as empty;
// ones that parse but hold odd entries (found by the user-defaults fuzzer) answer every getter
// without throwing. Either way the next write replaces them.
TEST(UserDefaults, CorruptOrOddFilesReadWithoutThrowingAndTheNextWriteReplacesThem) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  const auto a = [](const char* entry) {
    return std::string(R"({"format":1,"values":{"a":)") + entry + "}}";
  };
  // The file, whether it is corrupt, and what key "a" reads as a string and as an integer.
  const std::tuple<std::string, bool, std::optional<std::string>, std::int64_t> cases[] = {
      {R"({"format":1,"values":{"a":{"type":"string","value":"x"}})", true, std::nullopt, 0},
      {std::string("\x00\x01garbage", 9), true, std::nullopt, 0},
      {R"({"format":1,"values":[1,2]})", true, std::nullopt, 0},
      {"", true, std::nullopt, 0},
      {a(R"({"type":1,"value":"x"})"), false, std::nullopt, 0},  // a tag that is not a string
      {a(R"({"type":null,"value":"5"})"), false, std::nullopt, 5},
      {a(R"({"type":"string","value":"1e300"})"), false, "1e300", kMax},
      {a(R"({"type":"double","value":1e300})"), false, std::nullopt, kMax},
      {a(R"({"type":"double","value":-1e300})"), false, std::nullopt, -kMax - 1},
      {a(R"({"type":"data","value":"!!"})"), false, std::nullopt, 0},
      {a(R"({"value":{"nested":[1]}})"), false, std::nullopt, 0},
  };
  testing::TempDirectory dir;
  const auto path = dir.file("defaults.json");
  for (const auto& [text, corrupt, string, integer] : cases) {
    SCOPED_TRACE(text);
    testing::CapturedLogs logs;
    writeFile(path, text);
    UserDefaults defaults(path);
    EXPECT_EQ(std::tuple(defaults.contains("a"), defaults.string("a"), defaults.integer("a"),
                         defaults.data("a")),
              std::tuple(!corrupt, string, integer, std::nullopt));
    EXPECT_EQ(logs.records("UserDefaults").size(), corrupt ? 1u : 0u);
    EXPECT_NO_THROW((void)defaults.doubleValue("a"); (void)defaults.boolValue("a");
                    (void)defaults.value("a"));
    defaults.setString("a", "fresh");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(path).string("a"), "fresh");
  }
}

// Two processes (two CLI calls, the application beside the CLI) each hold their own instance
// on one file; neither may revert what the other wrote.
TEST(UserDefaults, TwoWritersKeepEachOthersKeys) {
  testing::TempDirectory dir;
  const auto path = dir.file("defaults.json");
  writeFile(path, R"({"format":1,"values":{"CHColorSetManager.initiationCounter":)"
                  R"({"type":"integer","value":3},"old":{"type":"string","value":"to remove"}}})");
  UserDefaults first(path), second(path);

  first.setString("TPCurrentSession", "s1");
  first.removeObject("old");
  ASSERT_TRUE(first.synchronize());
  // A reader sees the other writer's newer values at once.
  EXPECT_TRUE(second.string("TPCurrentSession") == "s1" && !second.contains("old"));

  second.setString("TPCurrentTask", "t1");
  second.setInteger("CHColorSetManager.initiationCounter", 4);
  // An unwritten change of this instance wins over what the other wrote meanwhile...
  first.setString("TPCurrentTask", "stale");
  first.removeObject("TPCurrentTask");
  ASSERT_TRUE(second.synchronize());
  EXPECT_TRUE(!first.contains("TPCurrentTask") && first.integer("CHColorSetManager.initiationCounter") == 4);
  // ...and is what the file holds after it is written.
  ASSERT_TRUE(first.synchronize());

  // Setting what the file holds writes nothing (the file is not replaced); a value the other
  // writer changed meanwhile is still set, though this instance last read the same one.
  const auto fileIdentity = [&path] {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
  };
  const auto before = fileIdentity();
  first.setString("TPCurrentSession", "s1");
  ASSERT_TRUE(first.synchronize());
  EXPECT_EQ(fileIdentity(), before);
  second.setString("TPCurrentSession", "s2");
  ASSERT_TRUE(second.synchronize());
  first.setString("TPCurrentSession", "s1");
  ASSERT_TRUE(first.synchronize());

  const UserDefaults reread(path);
  EXPECT_EQ(reread.string("TPCurrentSession"), "s1");
  EXPECT_FALSE(reread.contains("TPCurrentTask") || reread.contains("old"));
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
