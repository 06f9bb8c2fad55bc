#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

/// What automatic tracking does when a rule set stops matching (`RuleSet::PauseType`):
/// nothing, tell the user, or pause the timer. Stored in `RuleSet.pauseTypeIndex`. A value
/// type.
class RuleSetPauseType {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t { none = 0, notify = 1, active = 2 };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr RuleSetPauseType(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The type of `raw`, or nothing outside 0…2.
  static constexpr std::optional<RuleSetPauseType> fromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return RuleSetPauseType(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
