#include "chronelle/support/Money.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace chronelle {

namespace {

// 128-bit intermediates: 17 digits of a rate times 17 digits of a duration fit.
__extension__ typedef __int128 Wide;

// A finite double as its shortest round-trip decimal: digits × 10^exponent.
struct Decimal {
  std::int64_t digits = 0;  // at most 17 significant digits, signed
  int exponent = 0;
};

Decimal decimalOf(double value) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  Decimal d;
  if (ec != std::errc{}) return d;
  const char* p = text;
  const bool negative = *p == '-';
  if (negative) ++p;
  int fractionDigits = 0;
  bool inFraction = false;
  for (; p < end && *p != 'e'; ++p) {
    if (*p == '.') {
      inFraction = true;
      continue;
    }
    d.digits = d.digits * 10 + (*p - '0');
    if (inFraction) ++fractionDigits;
  }
  int exponent = 0;
  if (p < end && *p == 'e') std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
  d.exponent = exponent - fractionDigits;
  if (negative) d.digits = -d.digits;
  return d;
}

constexpr int kMaxPower = 36;  // 10^36 × 36 < 2^127

Wide powerOfTen(int n) {
  Wide result = 1;
  for (int i = 0; i < n; ++i) result *= 10;
  return result;
}

// numerator ÷ denominator (denominator > 0) rounded to the nearest integer, halves away from zero.
std::int64_t roundedQuotient(Wide numerator, Wide denominator) {
  const bool negative = numerator < 0;
  const Wide magnitude = negative ? -numerator : numerator;
  Wide quotient = magnitude / denominator;
  if ((magnitude % denominator) * 2 >= denominator) ++quotient;
  // The caller has gauged the value below 2^63; only the last rounding step can reach it.
  constexpr Wide kLimit = std::numeric_limits<std::int64_t>::max();
  if (quotient > kLimit) quotient = kLimit;
  return static_cast<std::int64_t>(negative ? -quotient : quotient);
}

// round(digits × 10^exponent ÷ divisor) in exact integer arithmetic. A result beyond the
// range of cents is clamped to it; it is gauged in long double first, so that the exact
// product below never overflows 128 bits.
std::int64_t roundedScaled(Wide digits, int exponent, Wide divisor) {
  if (digits == 0) return 0;
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  const long double estimate = static_cast<long double>(digits) * std::pow(10.0L, exponent) /
                               static_cast<long double>(divisor);
  if (estimate >= 0x1p63L) return kMax;
  if (estimate <= -0x1p63L) return kMin;
  // |value| < 2^63 here, so digits × 10^exponent < 2^63 × divisor, far inside 128 bits.
  if (exponent >= 0) return roundedQuotient(digits * powerOfTen(exponent), divisor);
  // digits < 10^34, so with an exponent below -35 the value is under a hundredth of a unit.
  if (-exponent > kMaxPower - 1) return 0;
  return roundedQuotient(digits, divisor * powerOfTen(-exponent));
}

}  // namespace

std::int64_t revenueCents(double seconds, double hourlyRate) {
  if (!std::isfinite(seconds) || !std::isfinite(hourlyRate)) return 0;
  const Decimal s = decimalOf(seconds);
  const Decimal r = decimalOf(hourlyRate);
  // seconds × rate ÷ 3600 × 100 = seconds × rate ÷ 36
  return roundedScaled(static_cast<Wide>(s.digits) * r.digits, s.exponent + r.exponent, 36);
}

double revenueAmount(double seconds, double hourlyRate) {
  return amountOfCents(revenueCents(seconds, hourlyRate));
}

std::int64_t centsOf(double amount) {
  // Stored amounts are whole cents. When `amount` is the double nearest to c / 100, its
  // shortest decimal text is c / 100 itself below 10^9 (there two amounts a cent apart are
  // millions of doubles apart), so c is the answer without writing the text out.
  if (std::fabs(amount) < 1e9) {
    const std::int64_t cents = std::llround(amount * 100.0);
    if (static_cast<double>(cents) / 100.0 == amount) return cents;
  }
  if (!std::isfinite(amount)) return 0;
  const Decimal a = decimalOf(amount);
  return roundedScaled(a.digits, a.exponent + 2, 1);
}

double amountOfCents(std::int64_t cents) {
  // Dividing the exact integer by 100 gives the double nearest to the decimal amount.
  return static_cast<double>(cents) / 100.0;
}

double sumOfAmounts(double a, double b) { return amountOfCents(centsOf(a) + centsOf(b)); }

}  // namespace chronelle
