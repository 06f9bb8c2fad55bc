#pragma once

#include <cstdint>

namespace chronelle {

/// Which of the three totals a caller wants; fields not asked for stay zero. An option set
/// over a signed integer (duration 1, revenue 2, sessionCount 4, all 7). A value type.
struct TotalValueTypeOptionSet {
  /// The bits of the chosen totals.
  std::int64_t rawValue = 0;

  constexpr TotalValueTypeOptionSet() = default;
  /// The set with the bits of `raw`.
  constexpr explicit TotalValueTypeOptionSet(std::int64_t raw) : rawValue(raw) {}

  /// Duration (1), revenue (2), entry count (4), or all three (7).
  ///@{
  static const TotalValueTypeOptionSet duration;
  static const TotalValueTypeOptionSet revenue;
  static const TotalValueTypeOptionSet sessionCount;
  static const TotalValueTypeOptionSet all;
  ///@}

  /// True when every bit of `other` is set here.
  constexpr bool contains(TotalValueTypeOptionSet other) const {
    return (rawValue & other.rawValue) == other.rawValue;
  }
  /// The totals of both sets.
  constexpr TotalValueTypeOptionSet operator|(TotalValueTypeOptionSet other) const {
    return TotalValueTypeOptionSet(rawValue | other.rawValue);
  }
  /// The totals in both sets.
  constexpr TotalValueTypeOptionSet operator&(TotalValueTypeOptionSet other) const {
    return TotalValueTypeOptionSet(rawValue & other.rawValue);
  }
  /// Equal when every field is.
  friend constexpr bool operator==(TotalValueTypeOptionSet, TotalValueTypeOptionSet) = default;
};

inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::duration{1};
inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::revenue{2};
inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::sessionCount{4};
inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::all{7};

}  // namespace chronelle
