#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

/// How a rule's text is compared with what the user works in. Stored in
/// `Rule.relationValue` for text rules. Used like an enumeration; a value type.
class TextMatchRelation {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t { isExact = 0, contains = 1, startsWith = 2, endsWith = 3 };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr TextMatchRelation(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The relation of `raw`, or nothing outside 0…3.
  static constexpr std::optional<TextMatchRelation> fromRaw(int raw) {
    if (raw < 0 || raw > 3) return std::nullopt;
    return TextMatchRelation(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
