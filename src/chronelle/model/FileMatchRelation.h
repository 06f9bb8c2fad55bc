#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

/// How a rule's file path or name is compared with the open file. Stored in
/// `Rule.relationValue` for file rules. Used like an enumeration; a value type.
class FileMatchRelation {
 public:
  /// The cases, with their stored raw values.
  enum Case : std::int16_t {
    pathIs = 0,
    nameContains = 1,
    pathContains = 2,
    nameMatchesRegex = 3,
    pathMatchesRegex = 4,
  };

  /// The value of `value`; implicit, so a case converts like a plain enumerator.
  constexpr FileMatchRelation(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  /// The case, for `switch` and comparisons.
  constexpr operator Case() const { return case_; }

  /// The relation of `raw`, or nothing outside 0…4.
  static constexpr std::optional<FileMatchRelation> fromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return FileMatchRelation(static_cast<Case>(raw));
  }

  /// The stored raw value.
  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
