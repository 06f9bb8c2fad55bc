#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

/// What of a Slack window the application's activity log records: the workspace or the
/// channel. Kept for the application; nothing in the library reads it. Used like an
/// enumeration; a value type.
class SlackTarget {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t { workspace = 0, channel = 1 };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr SlackTarget(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The target of `raw`, or nothing outside 0…1.
  static constexpr std::optional<SlackTarget> fromRaw(int raw) {
    if (raw < 0 || raw > 1) return std::nullopt;
    return SlackTarget(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
