#pragma once

#include <cstdint>

namespace chronelle {

// Which of the three totals a caller wants; fields not asked for stay zero. An option set
// over a signed integer (duration 1, revenue 2, sessionCount 4, all 7). A value type.
struct TotalValueTypeOptionSet {
  std::int64_t rawValue = 0;

  constexpr TotalValueTypeOptionSet() = default;
  constexpr explicit TotalValueTypeOptionSet(std::int64_t raw) : rawValue(raw) {}

  static const TotalValueTypeOptionSet duration;
  static const TotalValueTypeOptionSet revenue;
  static const TotalValueTypeOptionSet sessionCount;
  static const TotalValueTypeOptionSet all;

  // True when every bit of `other` is set here.
  constexpr bool contains(TotalValueTypeOptionSet other) const {
    return (rawValue & other.rawValue) == other.rawValue;
  }
  constexpr TotalValueTypeOptionSet operator|(TotalValueTypeOptionSet other) const {
    return TotalValueTypeOptionSet(rawValue | other.rawValue);
  }
  constexpr TotalValueTypeOptionSet operator&(TotalValueTypeOptionSet other) const {
    return TotalValueTypeOptionSet(rawValue & other.rawValue);
  }
  friend constexpr bool operator==(TotalValueTypeOptionSet, TotalValueTypeOptionSet) = default;
};

inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::duration{1};
inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::revenue{2};
inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::sessionCount{4};
inline constexpr TotalValueTypeOptionSet TotalValueTypeOptionSet::all{7};

}  // namespace chronelle
