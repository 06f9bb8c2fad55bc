#pragma once

#include <cstdint>

namespace chronelle {

// Money in the library is reckoned in whole cents. Rates and stored amounts are doubles, but
// people type them in decimal: 19.99 is held as 19.98999999999999843… and a product taken in
// binary would turn the exact half cent of 30 minutes at 19.99/h (9.995) into 9.99. These
// functions read every double as its shortest decimal text (the number the user typed or the
// store round-trips) and compute on integers, so halves are exact and round away from zero.
// All are pure, thread-safe and never throw; a non-finite input counts as zero.

/// Revenue of `seconds` of work at `hourlyRate` per hour, in whole cents:
/// seconds × rate ÷ 3600, rounded to the cent with exact halves away from zero.
std::int64_t revenueCents(double seconds, double hourlyRate);

/// The same revenue as an amount of money (cents ÷ 100), for values stored or shown.
double revenueAmount(double seconds, double hourlyRate);

/// Whole cents of an amount, rounded with exact halves away from zero (an amount stored as
/// 0.145 is 15 cents). Use it to sum stored revenues: a total is a sum of whole cents.
std::int64_t centsOf(double amount);

/// The amount of `cents` (cents ÷ 100): the nearest double to the decimal amount for any
/// total below 2^53 cents (90 trillion units), which is every sum of money people track.
double amountOfCents(std::int64_t cents);

/// a + b summed in whole cents: 0.10 + 0.20 is 0.30, not 0.30000000000000004.
double sumOfAmounts(double a, double b);

}  // namespace chronelle
