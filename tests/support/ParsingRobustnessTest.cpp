#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "chronelle/support/DurationParsing.h"
#include "chronelle/support/NumberParsing.h"

namespace chronelle {
namespace {

// Same value, with NaN equal to NaN.
bool sameResult(const std::optional<double>& a, const std::optional<double>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (std::isnan(*a) && std::isnan(*b)) || *a == *b;
}

// Pieces that typed durations are made of, and pieces that break naive parsers: Unicode
// digits and spaces, combining marks, emoji, control characters, malformed UTF-8, huge
// exponents.
std::string randomText(std::mt19937& random) {
  static const std::vector<std::string> pieces = {
      "0", "1", "5", "9", "12", "90", ".", ",", ":", "h", "m", "s", "H", "M", "min", "sec",
      " ", "  ", "\t", "\n", "\r\n", "e", "E", "+", "-", "x", "0x", "inf", "nan", "1e308",
      "1e999999", "1e-999999", "\u00a0", "\u2028", "\u3000", "\u0661", "\u0966", "\uff11",
      "e\u0301", "\U0001F642", std::string("\0", 1), "\x01", "\x7f", "\xff", "\xc3", "\xe2\x82",
      "(", ")", "*", "\\d", "[", "%", "h30m", "1h", "30m", "15s", "00:00", "99:99:99"};
  std::string text;
  for (auto n = std::uniform_int_distribution<std::size_t>(0, 12)(random); n > 0; --n) {
    text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
  }
  return text;
}

TEST(ParsingRobustness, NeverFailsOnRandomOrHostileText) {
  // Long inputs aimed at the backtracking patterns and the number reader. Bounded searches
  // keep them quick; an unbounded cubic search would hang here until the runner's timeout.
  const std::string digits(5000, '7');
  std::vector<std::string> texts = {
      digits, digits + "x", digits + "h", digits + "m", "1" + digits + "h" + digits + "m" + digits + "s",
      digits + "\n5h", std::string(2000, '1') + "\n" + std::string(2000, '2') + "\n1m",
      "1h" + std::string(5000, 'x'), "5m" + std::string(3000, '.'), std::string(3000, ':'), "1e" + digits,
      "0x" + std::string(3000, 'f') + "p99999", std::string(4000, 'h'), std::string(2000, '\0'),
      "1" + std::string(3000, ',') + "5"};
  std::mt19937 random(20180311);
  for (int i = 0; i < 1500; ++i) texts.push_back(randomText(random));

  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string& text = texts[i];
    const auto seconds = toTimeInterval(text);
    // Surrounding blanks never change a duration, and the parse is a pure function.
    EXPECT_TRUE(sameResult(toTimeInterval("  " + text + " \n"), seconds)) << "case " << i;
    EXPECT_TRUE(sameResult(toTimeInterval(text), seconds)) << "case " << i;
    // A flexible-separator number without a dot, read as minutes, is what the duration
    // parser makes of it too.
    const auto flexible = toDoubleByUsingFlexibleSeparator(text);
    if (flexible && text.find_first_of(". \t\n\r") == std::string::npos && text.find("min") == std::string::npos &&
        text.find("sec") == std::string::npos) {
      EXPECT_TRUE(sameResult(seconds, *flexible * 60)) << "case " << i;
    }
  }
}

}  // namespace
}  // namespace chronelle
