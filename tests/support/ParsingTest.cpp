#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "chronelle/support/DurationParsing.h"
#include "chronelle/support/NumberParsing.h"
#include "chronelle/support/RegexMatching.h"
#include "chronelle/support/Rounding.h"
#include "chronelle/support/UniversalDecimalNumberFormatter.h"

namespace chronelle {
namespace {

// A text and what it reads as (nothing when it is refused).
using Case = std::pair<std::string, std::optional<double>>;
constexpr std::nullopt_t no = std::nullopt;

TEST(DurationParsing, ReadsEveryTypedForm) {
  const std::vector<Case> cases = {
      // A bare number is minutes, with either decimal separator.
      {"90", 5400}, {"1,5", 90}, {"0", 0}, {"-5", -300}, {"1e1", 600}, {" \t90\n", 5400},
      // Clock forms, with and without seconds.
      {"01:30", 5400}, {"00:45", 2700}, {"01:30:15", 5415}, {"23:59:59", 86399},
      // One-digit fields are what people type; three-digit ones are slips, not times.
      {"1:5", 3900}, {"9:5", 32700}, {"1:05:3", 3903}, {"0:0", 0},
      {"1:030", no}, {"001:30", no}, {"1:30:", no}, {":30", no}, {"1:2:3:4", no}, {"24:00", no}, {"1:60", no},
      {"1:00:60", no},
      // Unit letters, case and blanks do not matter.
      {"1h30m", 5400}, {"1H30M", 5400}, {"1h 30m", 5400}, {"1h30m15s", 5415}, {"2h 15min", 8100},
      {"2.5h", 9000}, {"1,5h", 5400}, {"2h", 7200}, {"1.5 hours", 5400}, {"45 min", 2700},
      {"90 minutes", 5400}, {"1h 30 min 15 sec", 5415},
      // Not durations. A number after the hours is neither a minute count nor a single number;
      // in "1 min 30 sec" the minute extraction sees "1m30", which is no number; two numbers
      // before the unit are not one amount; digits of other scripts match \d but are no
      // number literals.
      {"abc", no}, {"", no}, {"   ", no}, {"1.5.5", no}, {"10 sec", no}, {"1h30", no}, {"1 min 30 sec", no},
      {"2x3h", no}, {"\u0661\u0662h", no},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(toTimeInterval(text), seconds) << '"' << text << '"';
}

TEST(NumberParsing, AcceptsOnlyCompleteCLocaleLiterals) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases = {
      {"1.5", 1.5}, {"-2", -2}, {"+3", 3}, {"1e3", 1000}, {".5", 0.5}, {"0x10", 16}, {"inf", inf}, {"1e99999", inf},
      {"1e-99999", 0}, {"1,5", no}, {"1.5 ", no}, {" 1.5", no}, {"\t1", no}, {"\n1", no}, {"", no}, {"abc", no},
      {"1.5.5", no}, {std::string("1\0", 2), no}, {"\u0661", no},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(parseNumberLiteral(text), value) << '"' << text << '"';
  EXPECT_TRUE(std::isnan(parseNumberLiteral("nan").value_or(0)));
}

TEST(NumberParsing, FlexibleSeparatorTakesOneCommaAsThePoint) {
  const std::vector<Case> cases = {
      {"1,5", 1.5}, {"1.5", 1.5}, {",5", 0.5}, {"-0,25", -0.25}, {"1.000,5", no}, {"1,000,000", no}, {"1, 5", no}, {"", no},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(toDoubleByUsingFlexibleSeparator(text), value) << '"' << text << '"';
}

TEST(RegexMatching, SearchesTheWholeTextAndReportsBadPatterns) {
  EXPECT_EQ(std::vector({matchesRegex("abc123", "\\d+"), matchesRegex("abc", "\\d"), matchesRegex("abc", "(")}),
            std::vector<std::optional<bool>>({true, false, std::nullopt}));
  EXPECT_EQ(matchesForRegex("abc", "[z-a]"), std::nullopt);

  // Greedy with backtracking, the middle group gives back the last digit; empty matches are
  // listed and do not stall the search; positions are characters, not bytes.
  using List = std::vector<std::string>;
  const std::tuple<const char*, const char*, List> cases[] = {
      {"a1b22c333", "\\d+", {"1", "22", "333"}}, {"none", "\\d+", {}}, {"2.5h", "(\\d*)(.*)(\\d+)", {"2.5"}},
      {"2h", "(\\d*)(.*)(\\d+)", {"2"}}, {"ab", "x*", {"", "", ""}}, {"\u00e9t\u00e9 2024", "\\w+", {"\u00e9t\u00e9", "2024"}}};
  for (const auto& [text, pattern, matches] : cases) EXPECT_EQ(matchesForRegex(text, pattern), matches) << pattern << " in " << text;
}

TEST(RegexMatching, BoundedSearchGivesUpOnCatastrophicBacktracking) {
  const std::string text(40, 'a');
  EXPECT_EQ(matchesForRegex(text, "(a+)+b", RegexLimits{5}), std::nullopt);
  // The same bound leaves ordinary searches alone.
  EXPECT_EQ(std::vector({matchesRegex(text, "(a+)+b", RegexLimits{5}), matchesRegex(text + "b", "(a+)+b", RegexLimits{5})}),
            std::vector<std::optional<bool>>({std::nullopt, true}));
}

TEST(Rounding, RoundsHalvesAwayFromZero) {
  const std::tuple<double, int, double> cases[] = {{2.5, 0, 3},       {-2.5, 0, -3},      {0.125, 2, 0.13},
                                                    {-0.125, 2, -0.13}, {1.2345, 2, 1.23}, {1.2355, 3, 1.236},
                                                    {123.456, -1, 120}, {7, 2, 7}};
  for (const auto& [value, places, expected] : cases) {
    EXPECT_DOUBLE_EQ(roundedToPlaces(value, places), expected) << value << " to " << places;
  }
}

TEST(UniversalDecimalNumberFormatter, AcceptsEitherSeparatorBeforeTheLocale) {
  // "1.234,5" is no flexible-separator number, so the locale's format reads it.
  const UniversalDecimalNumberFormatter german("de_DE"), english("en_US");
  EXPECT_EQ(std::vector({german.number("1,5"), german.number("1.5"), german.number("1.234,5"), german.number("abc"),
                         german.number("12 apples"), english.number("1,234.5"), english.number("2,5")}),
            std::vector<std::optional<double>>({1.5, 1.5, 1234.5, std::nullopt, std::nullopt, 1234.5, 2.5}));
  EXPECT_EQ(german.string(1234.5), "1.234,5");
}

TEST(UniversalDecimalNumberFormatter, ObjectValueUsesOnlyTheFlexibleSeparator) {
  const UniversalDecimalNumberFormatter german("de_DE");
  double slot = -1;
  std::string error = "untouched";
  EXPECT_FALSE(german.getObjectValue(nullptr, "2,5", &error));
  EXPECT_TRUE(german.getObjectValue(&slot, "2,5", &error) && slot == 2.5) << slot;
  slot = -1;
  // The German format could read this, but the object value does not ask it.
  EXPECT_FALSE(german.getObjectValue(&slot, "1.234,5", &error));
  EXPECT_FALSE(german.getObjectValue(&slot, "abc", nullptr));
  EXPECT_EQ(slot, -1);
  EXPECT_EQ(error, "untouched");
}

// Same value, with NaN equal to NaN.
bool sameResult(const std::optional<double>& a, const std::optional<double>& b) {
  return a.has_value() == b.has_value() && (!a || (std::isnan(*a) && std::isnan(*b)) || *a == *b);
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
    EXPECT_TRUE(sameResult(toTimeInterval("  " + text + " \n"), seconds) && sameResult(toTimeInterval(text), seconds))
        << "case " << i;
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
