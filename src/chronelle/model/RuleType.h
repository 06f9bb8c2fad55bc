#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

/// The kind of activity a rule describes. What each of the nine kinds means is the business of
/// the application that evaluates rules; the library keeps only the number (`Rule.typeValue`),
/// so the cases are named after their raw values. Used like an enumeration; a value type.
class RuleType {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t {
    type0 = 0,
    type1 = 1,
    type2 = 2,
    type3 = 3,
    type4 = 4,
    type5 = 5,
    type6 = 6,
    type7 = 7,
    type8 = 8,
  };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr RuleType(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The type of `raw`, or nothing outside 0…8.
  static constexpr std::optional<RuleType> fromRaw(int raw) {
    if (raw < 0 || raw > 8) return std::nullopt;
    return RuleType(static_cast<Case>(raw));
  }
  /// How a stored value reads: its own case, and `type6` for a value outside 0…8.
  static constexpr RuleType fromStored(int raw) { return fromRaw(raw).value_or(type6); }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
