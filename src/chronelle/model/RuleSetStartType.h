#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

/// What automatic tracking does when a rule set starts to match (`RuleSet::StartType`): tell
/// the user, or start the timer. Stored in `RuleSet.startTypeIndex`. A value type.
class RuleSetStartType {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t { notify = 0, active = 1 };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr RuleSetStartType(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The type of `raw`, or nothing outside 0…1. (A stored index reads more leniently: see
  /// RuleSet::startType.)
  static constexpr std::optional<RuleSetStartType> fromRaw(int raw) {
    if (raw < 0 || raw > 1) return std::nullopt;
    return RuleSetStartType(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
