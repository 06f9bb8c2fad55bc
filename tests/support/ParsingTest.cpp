#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "chronelle/support/DurationParsing.h"
#include "chronelle/support/Money.h"
#include "chronelle/support/NumberParsing.h"
#include "chronelle/support/RegexMatching.h"
#include "chronelle/support/Rounding.h"
#include "chronelle/support/UnicodeText.h"
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
      // The amount is read on its own line; every Unicode line break ends the line before it.
      {"x\n2.5h", 9000}, {"x\u00852.5h", 9000}, {"x\u20282h", 7200}, {"x\u20292m", 120},
      // Not durations. A number after the hours is neither a minute count nor a single number;
      // in "1 min 30 sec" the minute extraction sees "1m30", which is no number; two numbers
      // before the unit are not one amount; digits of other scripts match \d but are no
      // number literals.
      {"abc", no}, {"", no}, {"   ", no}, {"1.5.5", no}, {"10 sec", no}, {"1h30", no}, {"1 min 30 sec", no},
      {"2x3h", no}, {"\u0661\u0662h", no},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(toTimeInterval(text), seconds) << '"' << text << '"';
}

TEST(NumberParsing, AcceptsOnlyCompleteCLocaleLiteralsOrOneCommaAsThePoint) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Case> cases = {
      {"1.5", 1.5}, {"-2", -2}, {"+3", 3}, {"1e3", 1000}, {".5", 0.5}, {"0x10", 16}, {"inf", inf}, {"1e99999", inf},
      {"1e-99999", 0}, {"1,5", no}, {"1.5 ", no}, {" 1.5", no}, {"\t1", no}, {"\n1", no}, {"", no}, {"abc", no},
      {"1.5.5", no}, {std::string("1\0", 2), no}, {"\u0661", no},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(parseNumberLiteral(text), value) << '"' << text << '"';
  EXPECT_TRUE(std::isnan(parseNumberLiteral("nan").value_or(0)));
  // The flexible separator takes one comma as the point.
  const std::vector<Case> flexible = {{"1,5", 1.5}, {"1.5", 1.5}, {",5", 0.5}, {"-0,25", -0.25},
                                      {"1.000,5", no}, {"1,000,000", no}, {"1, 5", no}, {"", no}};
  for (const auto& [text, value] : flexible) {
    EXPECT_EQ(toDoubleByUsingFlexibleSeparator(text), value) << '"' << text << '"';
  }
}

TEST(RegexMatching, SearchesTheWholeTextWithinItsBoundAndReportsBadPatterns) {
  EXPECT_EQ(std::vector({matchesRegex("abc123", "\\d+"), matchesRegex("abc", "\\d"), matchesRegex("abc", "(")}),
            std::vector<std::optional<bool>>({true, false, std::nullopt}));
  EXPECT_EQ(matchesForRegex("abc", "[z-a]"), std::nullopt);

  // Greedy with backtracking, the middle group gives back the last digit; empty matches are
  // listed and do not stall the search; positions are characters, not bytes.
  using List = std::vector<std::string>;
  const std::tuple<const char*, const char*, List> cases[] = {
      {"a1b22c333", "\\d+", {"1", "22", "333"}}, {"none", "\\d+", {}}, {"2.5h", "(\\d*)(.*)(\\d+)", {"2.5"}},
      {"2h", "(\\d*)(.*)(\\d+)", {"2"}}, {"ab", "x*", {"", "", ""}}, {"\u00e9t\u00e9 2024", "\\w+", {"\u00e9t\u00e9", "2024"}}};
  for (const auto& [text, pattern, matches] : cases) {
    EXPECT_EQ(matchesForRegex(text, pattern), matches) << pattern << " in " << text;
  }

  // A bounded search gives up on catastrophic backtracking and leaves ordinary searches alone.
  const std::string as(40, 'a');
  EXPECT_EQ(matchesForRegex(as, "(a+)+b", RegexLimits{5}), std::nullopt);
  EXPECT_EQ(std::vector({matchesRegex(as, "(a+)+b", RegexLimits{5}),
                         matchesRegex(as + "b", "(a+)+b", RegexLimits{5})}),
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

// "1.234,5" is no flexible-separator number, so the locale's format reads it; the object value
// does not ask the locale.
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Rates and durations whose product in binary lands just beside an exact half cent, and
// inputs at the edges of the range.
TEST(Money, RevenueIsTheDecimalProductInCentsHalvesAwayFromZero) {
  const std::tuple<double, double, std::int64_t> cases[] = {
      {1800, 19.99, 1000},  {29, 18, 15},   {123, 30, 103},         {1800, 0.01, 1},  // halves
      {1, 17.99, 0},        {3601, 100, 10003}, {0.5, 36, 1},       {0, 19.99, 0},
      {1800, -19.99, -1000}, {29, -18, -15},                        // away from zero below it
      {3.6e9, 1e6, 100000000000000},
      {1.2345678901234567e20, 1.2345678901234567e20, kMax},  {1e300, -1e300, kMin},  // clamped
      {5e-324, 5e-324, 0},  {NAN, 18, 0},   {3600, INFINITY, 0},
  };
  for (const auto& [seconds, rate, cents] : cases) EXPECT_EQ(revenueCents(seconds, rate), cents) << seconds << " s at " << rate;
}

// Stored amounts read as their decimal cents, so sums of them stay on the cent.
TEST(Money, AmountsAddUpInWholeCents) {
  const std::pair<double, std::int64_t> cases[] = {{0.145, 15},  {-0.145, -15}, {9.995, 1000}, {4003385.11999997, 400338512},  // a drifted sum
               {1e-20, 0},   {NAN, 0},      {1e300, kMax}, {-1e300, kMin}};
  for (const auto& [amount, cents] : cases) EXPECT_EQ(centsOf(amount), cents) << amount;
  // Whole cents of every size up to 2^56, and the doubles just beside them (drifted
  // sums), against the cents read off the shortest decimal text digit by digit.
  const auto fromText = [](double amount) {
    char text[400];  // the tiniest doubles take 330 digits in fixed notation
    const char* end = std::to_chars(text, text + sizeof text, amount, std::chars_format::fixed).ptr;
    const char* p = text + (text[0] == '-');
    std::int64_t cents = 0;
    int fraction = -1;  // fraction digits read so far; -1 before the point
    for (; p < end && fraction < 2; ++p) {
      if (*p == '.') fraction = 0;
      else cents = cents * 10 + (*p - '0'), fraction += fraction >= 0;
    }
    for (int digits = std::max(fraction, 0); digits < 2; ++digits) cents *= 10;
    if (p < end && *p >= '5') ++cents;  // the next digit decides, halves away from zero
    return text[0] == '-' ? -cents : cents;
  };
  std::mt19937_64 random(7);
  for (int i = 0; i < 3000; ++i) {
    const auto whole = static_cast<std::int64_t>(random() % (std::uint64_t{1} << (4 + i % 53)));
    const double amount = static_cast<double>(i % 2 ? whole : -whole) / 100.0;
    for (const double x : {amount, std::nextafter(amount, 1e300), std::nextafter(amount, -1e300)})
      ASSERT_EQ(centsOf(x), fromText(x)) << std::setprecision(17) << x;
  }
  double tenDimes = 0;
  for (int i = 0; i < 10; ++i) tenDimes = sumOfAmounts(tenDimes, 0.1);
  EXPECT_EQ(std::vector({tenDimes, sumOfAmounts(0.1, 0.2), sumOfAmounts(4003385.11, 0.01)}),
            std::vector({1.0, 0.3, 4003385.12}));
}

TEST(UniversalDecimalNumberFormatter, AcceptsEitherSeparatorBeforeTheLocale) {
  const UniversalDecimalNumberFormatter german("de_DE"), english("en_US");
  EXPECT_EQ(std::vector({german.number("1,5"), german.number("1.5"), german.number("1.234,5"),
                         german.number("abc"), german.number("12 apples"),
                         english.number("1,234.5"), english.number("2,5")}),
            std::vector<std::optional<double>>({1.5, 1.5, 1234.5, no, no, 1234.5, 2.5}));
  EXPECT_EQ(german.string(1234.5), "1.234,5");

  double slot = -1;
  std::string error = "untouched";
  EXPECT_FALSE(german.getObjectValue(nullptr, "2,5", &error) ||
               german.getObjectValue(&slot, "1.234,5", &error) ||
               german.getObjectValue(&slot, "abc", nullptr));
  EXPECT_EQ(std::pair(slot, error), std::pair(-1.0, std::string("untouched")));
  EXPECT_TRUE(german.getObjectValue(&slot, "2,5", &error) && slot == 2.5) << slot;
}

// Same value, with NaN equal to NaN.
bool sameResult(const std::optional<double>& a, const std::optional<double>& b) {
  return a.has_value() == b.has_value() && (!a || (std::isnan(*a) && std::isnan(*b)) || *a == *b);
}

TEST(ParsingRobustness, NeverFailsOnLongOrHostileText) {
  // Long inputs aimed at the backtracking patterns and the number reader. Bounded searches
  // keep them quick; an unbounded cubic search would hang here until the runner's timeout.
  const std::string digits(5000, '7');
  const std::string texts[] = {
      digits, digits + "x", digits + "h", digits + "m", digits + "\n5h",
      "1" + digits + "h" + digits + "m" + digits + "s", "1h" + std::string(5000, 'x'),
      std::string(2000, '1') + "\n" + std::string(2000, '2') + "\n1m", std::string(3000, ':'),
      "5m" + std::string(3000, '.'), "1e" + digits, "0x" + std::string(3000, 'f') + "p99999",
      std::string(4000, 'h'), std::string(2000, '\0'), "1" + std::string(3000, ',') + "5",
      // Bytes that break naive readers: malformed UTF-8, control characters, Unicode digits,
      // blanks and combining marks, emoji, huge exponents.
      "\xff" "5h", "1\xc3h", "\xe2\x82" "30m", "\x01" "1h", "1\x7fm", std::string("5\0m", 3),
      "\u0661\u0662", "\uff11h", "1e\u0301m", "1\u00a0h\u2028" "30m", "\u3000" "90", "1e308h",
      "\U0001F642" "1h", "1e999999", "1e-999999m", "0x10h", "inf", "nan m", "99:99:99", "1h30m("};
  for (const std::string& text : texts) {
    const auto seconds = toTimeInterval(text);
    // Surrounding blanks never change a duration, and the parse is a pure function.
    EXPECT_TRUE(sameResult(toTimeInterval("  " + text + " \n"), seconds) &&
                sameResult(toTimeInterval(text), seconds)) << text.substr(0, 40);
    // A flexible-separator number without a dot, read as minutes, is what the duration
    // parser makes of it too.
    const auto flexible = toDoubleByUsingFlexibleSeparator(text);
    if (flexible && text.find_first_of(". \t\n\r") == std::string::npos &&
        text.find("min") == std::string::npos && text.find("sec") == std::string::npos) {
      EXPECT_TRUE(sameResult(seconds, *flexible * 60)) << text;
    }
  }
}


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
      EXPECT_EQ(characterCount(text), count) << ::testing::PrintToString(text);
    }
  }
}

}  // namespace
}  // namespace chronelle
