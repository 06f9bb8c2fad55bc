#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace chronelle {

/// Which way the timer rounds a paused entry's duration to its step. Stored in
/// `Session.roundingMethod` as its raw value; the rounding itself is the timer's. Used like an
/// enumeration (`RoundingMethodOption::up`); equatable and hashable; a value type.
class RoundingMethodOption {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t { nearest = 0, up = 1, down = 2 };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr RoundingMethodOption(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The option of `raw`, or nothing for a value outside 0…2.
  static constexpr std::optional<RoundingMethodOption> fromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return RoundingMethodOption(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }
  /// "nearest", "up" or "down".
  std::string description() const {
    switch (case_) {
      case up:
        return "up";
      case down:
        return "down";
      case nearest:
        break;
    }
    return "nearest";
  }

 private:
  Case case_;
};

}  // namespace chronelle

template <>
struct std::hash<chronelle::RoundingMethodOption> {
  std::size_t operator()(chronelle::RoundingMethodOption o) const noexcept {
    return std::hash<std::int16_t>()(o.rawValue());
  }
};
