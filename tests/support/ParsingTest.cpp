#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/support/DurationParsing.h"
#include "chronelle/support/NumberParsing.h"
#include "chronelle/support/RegexMatching.h"
#include "chronelle/support/Rounding.h"
#include "chronelle/support/UniversalDecimalNumberFormatter.h"

namespace chronelle {
namespace {

struct DurationCase {
  std::string text;
  std::optional<double> seconds;
};

TEST(DurationParsing, ReadsEveryTypedForm) {
  const std::vector<DurationCase> cases = {
      // A bare number is minutes, with either decimal separator.
      {"90", 5400}, {"1,5", 90}, {"0", 0}, {"-5", -300}, {"1e1", 600}, {" \t90\n", 5400},
      // Clock forms, with and without seconds.
      {"01:30", 5400}, {"00:45", 2700}, {"01:30:15", 5415}, {"23:59:59", 86399},
      // One-digit fields are what people type; three-digit ones are slips, not times.
      {"1:5", 3900}, {"9:5", 32700}, {"1:05:3", 3903}, {"0:0", 0},
      {"1:030", std::nullopt}, {"001:30", std::nullopt}, {"1:30:", std::nullopt}, {":30", std::nullopt},
      {"1:2:3:4", std::nullopt}, {"24:00", std::nullopt}, {"1:60", std::nullopt}, {"1:00:60", std::nullopt},
      // Unit letters, case and blanks do not matter.
      {"1h30m", 5400}, {"1H30M", 5400}, {"1h 30m", 5400}, {"1h30m15s", 5415}, {"2h 15min", 8100},
      {"2.5h", 9000}, {"1,5h", 5400}, {"2h", 7200}, {"1.5 hours", 5400}, {"45 min", 2700},
      {"90 minutes", 5400}, {"1h 30 min 15 sec", 5415},
      // Not durations.
      {"abc", std::nullopt}, {"", std::nullopt}, {"   ", std::nullopt}, {"1.5.5", std::nullopt},
      {"10 sec", std::nullopt},
      // A trailing number after the hours is neither a minute count nor a single number.
      {"1h30", std::nullopt},
      // Minutes then seconds: the minute extraction sees "1m30", which is not a number.
      {"1 min 30 sec", std::nullopt},
      // Two numbers before the unit are not one amount.
      {"2x3h", std::nullopt},
      // Digits of other scripts match \d but are not number literals.
      {"\u0661\u0662h", std::nullopt},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(toTimeInterval(cases[i].text), cases[i].seconds)
        << "case " << i << ": \"" << cases[i].text << "\"";
  }
}

struct NumberCase {
  std::string text;
  std::optional<double> value;
};

TEST(NumberParsing, AcceptsOnlyCompleteCLocaleLiterals) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<NumberCase> cases = {
      {"1.5", 1.5},          {"-2", -2},          {"+3", 3},
      {"1e3", 1000},         {".5", 0.5},         {"0x10", 16},
      {"inf", inf},          {"1e99999", inf},    {"1e-99999", 0},
      {"1,5", std::nullopt}, {"1.5 ", std::nullopt}, {" 1.5", std::nullopt},
      {"\t1", std::nullopt}, {"\n1", std::nullopt},  {"", std::nullopt},
      {"abc", std::nullopt}, {"1.5.5", std::nullopt}, {std::string("1\0", 2), std::nullopt},
      {"\u0661", std::nullopt},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(parseNumberLiteral(cases[i].text), cases[i].value) << "case " << i;
  }
  const auto nan = parseNumberLiteral("nan");
  ASSERT_TRUE(nan.has_value());
  EXPECT_TRUE(std::isnan(*nan));
}

TEST(NumberParsing, FlexibleSeparatorTakesOneCommaAsThePoint) {
  const std::vector<NumberCase> cases = {
      {"1,5", 1.5},          {"1.5", 1.5},   {",5", 0.5},           {"-0,25", -0.25},
      {"1.000,5", std::nullopt}, {"1,000,000", std::nullopt}, {"1, 5", std::nullopt}, {"", std::nullopt},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(toDoubleByUsingFlexibleSeparator(cases[i].text), cases[i].value) << "case " << i;
  }
}

TEST(RegexMatching, SearchesTheWholeTextAndReportsBadPatterns) {
  EXPECT_EQ(matchesRegex("abc123", "\\d+"), true);
  EXPECT_EQ(matchesRegex("abc", "\\d"), false);
  EXPECT_EQ(matchesRegex("abc", "("), std::nullopt);
  EXPECT_EQ(matchesForRegex("abc", "[z-a]"), std::nullopt);

  using List = std::vector<std::string>;
  EXPECT_EQ(matchesForRegex("a1b22c333", "\\d+"), List({"1", "22", "333"}));
  EXPECT_EQ(matchesForRegex("none", "\\d+"), List());
  // Greedy with backtracking: the middle group gives back the last digit.
  EXPECT_EQ(matchesForRegex("2.5h", "(\\d*)(.*)(\\d+)"), List({"2.5"}));
  EXPECT_EQ(matchesForRegex("2h", "(\\d*)(.*)(\\d+)"), List({"2"}));
  // Empty matches are listed and do not stall the search.
  EXPECT_EQ(matchesForRegex("ab", "x*"), List({"", "", ""}));
  // Positions are characters, not bytes.
  EXPECT_EQ(matchesForRegex("\u00e9t\u00e9 2024", "\\w+"), List({"\u00e9t\u00e9", "2024"}));
}

TEST(RegexMatching, BoundedSearchGivesUpOnCatastrophicBacktracking) {
  const std::string text(40, 'a');
  EXPECT_EQ(matchesRegex(text, "(a+)+b", RegexLimits{5}), std::nullopt);
  EXPECT_EQ(matchesForRegex(text, "(a+)+b", RegexLimits{5}), std::nullopt);
  // The same bound leaves ordinary searches alone.
  EXPECT_EQ(matchesRegex(text + "b", "(a+)+b", RegexLimits{5}), true);
}

TEST(Rounding, RoundsHalvesAwayFromZero) {
  struct Case {
    double value;
    int places;
    double expected;
  };
  const std::vector<Case> cases = {{2.5, 0, 3},       {-2.5, 0, -3},      {0.125, 2, 0.13},   {-0.125, 2, -0.13},
                                    {1.2345, 2, 1.23}, {1.2355, 3, 1.236}, {123.456, -1, 120}, {7, 2, 7}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_DOUBLE_EQ(roundedToPlaces(cases[i].value, cases[i].places), cases[i].expected)
        << "case " << i;
  }
}

TEST(UniversalDecimalNumberFormatter, AcceptsEitherSeparatorBeforeTheLocale) {
  const UniversalDecimalNumberFormatter german("de_DE");
  EXPECT_EQ(german.number("1,5"), 1.5);
  EXPECT_EQ(german.number("1.5"), 1.5);
  // Not a flexible-separator number, so the German format reads it.
  EXPECT_EQ(german.number("1.234,5"), 1234.5);
  EXPECT_EQ(german.number("abc"), std::nullopt);
  EXPECT_EQ(german.number("12 apples"), std::nullopt);
  EXPECT_EQ(german.string(1234.5), "1.234,5");

  const UniversalDecimalNumberFormatter english("en_US");
  EXPECT_EQ(english.number("1,234.5"), 1234.5);
  EXPECT_EQ(english.number("2,5"), 2.5);
}

TEST(UniversalDecimalNumberFormatter, ObjectValueUsesOnlyTheFlexibleSeparator) {
  const UniversalDecimalNumberFormatter german("de_DE");
  double slot = -1;
  std::string error = "untouched";
  EXPECT_FALSE(german.getObjectValue(nullptr, "2,5", &error));
  EXPECT_TRUE(german.getObjectValue(&slot, "2,5", &error));
  EXPECT_EQ(slot, 2.5);
  slot = -1;
  // The German format could read this, but the object value does not ask it.
  EXPECT_FALSE(german.getObjectValue(&slot, "1.234,5", &error));
  EXPECT_FALSE(german.getObjectValue(&slot, "abc", nullptr));
  EXPECT_EQ(slot, -1);
  EXPECT_EQ(error, "untouched");
}

}  // namespace
}  // namespace chronelle
