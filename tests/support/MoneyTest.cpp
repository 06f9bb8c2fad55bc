#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

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
  double tenDimes = 0;
  for (int i = 0; i < 10; ++i) tenDimes = sumOfAmounts(tenDimes, 0.1);
  EXPECT_EQ(std::vector({tenDimes, sumOfAmounts(0.1, 0.2), sumOfAmounts(4003385.11, 0.01)}),
            std::vector({1.0, 0.3, 4003385.12}));
}

}  // namespace
}  // namespace chronelle
