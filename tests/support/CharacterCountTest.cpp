#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

struct CountCase {
  std::string text;
  std::size_t characters;
};

// ASCII is counted without ICU and everything else with a reused iterator: the table mixes
// both so that a shortcut or a stale text shows as a wrong count.
const std::vector<CountCase>& countCases() {
  static const std::vector<CountCase> cases = {
      {"#1E88E5", 7},
      {"a\r\nb", 3},           // CR LF is one character
      {"\n\r", 2},             // LF CR is two
      {"\r\r\n\r", 3},         // only the CR before the LF joins it
      {"\t\x7f", 2},           // controls stand alone
      {"e\xCC\x81", 1},        // e + combining acute
      {"\r\n\xCC\x81", 2},     // a combining mark does not join CR LF
      {"\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB!", 2},  // woman technologist (ZWJ) + '!'
      {"\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB", 2},  // two regional indicators + one
      {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8", 1},  // conjoining jamo: one syllable
      {"ab\xFF" "c", 4},       // a malformed byte counts as one U+FFFD
      {"\xC3", 1},             // a truncated sequence too
      {"Caf\xC3\xA9 \r\n", 6},
  };
  return cases;
}

TEST(CharacterCount, CountsExtendedGraphemeClustersInAnyOrder) {
  // Twice, the second time backwards, so that each text follows a different one.
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < countCases().size(); ++i) {
      const auto& c = countCases()[pass == 0 ? i : countCases().size() - 1 - i];
      EXPECT_EQ(characterCount(c.text), c.characters) << "case " << testing::PrintToString(c.text);
    }
  }
  EXPECT_EQ(characterCount(""), 0u);
}

TEST(CharacterCount, ThreadsCountIndependently) {
  std::vector<std::size_t> failures(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([t, &failures] {
      for (int round = 0; round < 200; ++round) {
        for (std::size_t i = 0; i < countCases().size(); ++i) {
          const auto& c = countCases()[(i + t + static_cast<std::size_t>(round)) % countCases().size()];
          if (characterCount(c.text) != c.characters) ++failures[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t t = 0; t < failures.size(); ++t) EXPECT_EQ(failures[t], 0u) << "thread " << t;
}

}  // namespace
}  // namespace chronelle
