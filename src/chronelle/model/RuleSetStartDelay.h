#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace chronelle {

/// How long a rule set must match before automatic tracking starts (`RuleSet::StartDelay`).
/// The raw value is the index stored in `RuleSet.startDelayIndex`; the indexes are not in case
/// order (0…3 are 30 s to 5 min, 4 is immediately, 5 is 10 s). A value type.
class RuleSetStartDelay {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t {
    immediately = 4,
    for10sec = 5,
    for30sec = 0,
    for1min = 1,
    for3min = 2,
    for5min = 3,
  };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr RuleSetStartDelay(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The delay stored as `raw`, or nothing when no case has that raw value.
  static constexpr std::optional<RuleSetStartDelay> fromRaw(int raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return RuleSetStartDelay(static_cast<Case>(raw));
  }
  /// immediately, for10sec, for30sec, for1min, for3min, for5min.
  static const std::array<RuleSetStartDelay, 6>& allCases();

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }
  /// The delay in seconds: 0, 10, 30, 60, 180, 300.
  double interval() const;
  /// `interval() / 60`, truncated (0 for 10 and 30 seconds).
  int intervalInMinutes() const { return static_cast<int>(interval() / 60); }
  /// The localised label: "immediately", "for %i seconds", "for 1 minute" or "for %i minutes"
  /// with the number filled in.
  std::string localizedLabel() const;

 private:
  Case case_;
};

}  // namespace chronelle
