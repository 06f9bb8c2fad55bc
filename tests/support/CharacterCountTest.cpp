#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

// ASCII is counted without ICU and the rest with a reused iterator: the texts alternate so
// that a wrong shortcut or a stale text shows as a wrong count. Run twice, once backwards.
TEST(CharacterCount, CountsExtendedGraphemeClustersInAnyOrder) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"#1E88E5", 7},        {"e\xCC\x81", 1},             // e + combining acute
      {"a\r\nb", 3},         {"\r\n\xCC\x81", 2},          // a mark does not join CR LF
      {"\r\r\n\n\r", 4},     {"\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB!", 2},  // ZWJ
      {"", 0},               {"ab\xFF" "c\xC3", 5},        // malformed bytes: one each
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const auto& [text, count] = cases[pass == 0 ? i : std::size(cases) - 1 - i];
      EXPECT_EQ(characterCount(text), count) << testing::PrintToString(text);
    }
  }
}

}  // namespace
}  // namespace chronelle
