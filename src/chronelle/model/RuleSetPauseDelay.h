#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace chronelle {

/// How long a rule set must stop matching before automatic tracking pauses
/// (`RuleSet::PauseDelay`). The raw value is the index stored in `RuleSet.pauseDelayIndex`;
/// there is no immediate pause, and 4 is no case at all. A value type.
class RuleSetPauseDelay {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t {
    for10sec = 5,
    for30sec = 0,
    for1min = 1,
    for3min = 2,
    for5min = 3,
  };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr RuleSetPauseDelay(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The delay stored as `raw`, or nothing when no case has that raw value (4, and anything
  /// outside 0…5).
  static constexpr std::optional<RuleSetPauseDelay> fromRaw(int raw) {
    if (raw < 0 || raw > 5 || raw == 4) return std::nullopt;
    return RuleSetPauseDelay(static_cast<Case>(raw));
  }
  /// for10sec, for30sec, for1min, for3min, for5min.
  static const std::array<RuleSetPauseDelay, 5>& allCases();

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }
  /// The delay in seconds: 10, 30, 60, 180, 300.
  double interval() const;
  /// `interval() / 60`, truncated (0 for 10 and 30 seconds).
  int intervalInMinutes() const { return static_cast<int>(interval() / 60); }
  /// The localised label: "for %i seconds", "for 1 minute" or "for %i minutes" with the number
  /// filled in.
  std::string localizedLabel() const;

 private:
  Case case_;
};

}  // namespace chronelle
