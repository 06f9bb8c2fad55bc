#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Rates and durations whose product in binary lands just beside an exact half cent.
TEST(Money, RevenueRoundsTheDecimalProductHalvesAwayFromZero) {
  struct Case {
    double seconds, rate;
    std::int64_t cents;
  };
  const std::vector<Case> cases = {
      {1800, 19.99, 1000},   // 9.995: the double 19.98999… would give 9.99
      {29, 18, 15},          // 0.145
      {123, 30, 103},        // 1.025
      {1800, 0.01, 1},       // half a cent from a rate that is no binary fraction
      {1, 17.99, 0},         // just under half a cent
      {3601, 100, 10003},    // 100.0277…
      {1800, -19.99, -1000}, // away from zero below it too
      {29, -18, -15},
      {0.5, 36, 1},          // a fraction of a second counts as given
      {3.6e9, 1e6, 100000000000000},
      {0, 19.99, 0},
      {1.2345678901234567e20, 1.2345678901234567e20, kMax},  // beyond the range: clamped
      {1e300, -1e300, kMin},
      {5e-324, 5e-324, 0},
      {NAN, 18, 0},
      {3600, kInf, 0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(revenueCents(c.seconds, c.rate), c.cents) << "case " << i << ": " << c.seconds << " s at " << c.rate;
  }
  EXPECT_EQ(revenueAmount(1800, 19.99), 10.0);
  EXPECT_EQ(revenueAmount(29, 18), 0.15);
}

TEST(Money, StoredAmountsAreReadAsTheirDecimalCents) {
  struct Case {
    double amount;
    std::int64_t cents;
  };
  const std::vector<Case> cases = {
      {0.145, 15},  {-0.145, -15},  {9.995, 1000},          {0.005, 1},     {4003385.12, 400338512},
      {1e-20, 0},   {NAN, 0},       {1e300, kMax},          {-1e300, kMin},
      {4003385.11999997, 400338512},  // a drifted sum of whole cents reads as its cents
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(centsOf(cases[i].amount), cases[i].cents) << "case " << i << ": " << cases[i].amount;
  }
}

TEST(Money, SumsOfAmountsStayOnTheCent) {
  double tenDimes = 0;
  for (int i = 0; i < 10; ++i) tenDimes = sumOfAmounts(tenDimes, 0.1);
  EXPECT_EQ(tenDimes, 1.0);
  EXPECT_EQ(sumOfAmounts(0.1, 0.2), 0.3);
  EXPECT_EQ(sumOfAmounts(4003385.11, 0.01), 4003385.12);
  EXPECT_EQ(sumOfAmounts(-0.15, 0.15), 0.0);
}

}  // namespace
}  // namespace chronelle
