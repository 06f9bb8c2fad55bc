#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "chronelle/platform/UserDefaults.h"
#include "testsupport/TempDirectory.h"

namespace chronelle {
namespace {

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

}  // namespace
}  // namespace chronelle
