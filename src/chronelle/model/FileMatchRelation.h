#pragma once

#include <cstdint>
#include <optional>

namespace chronelle {

// How a rule's file path or name is compared with the open file. Stored in
// `Rule.relationValue` for file rules. Used like an enumeration; a value type.
class FileMatchRelation {
 public:
  enum Case : std::int16_t {
    pathIs = 0,
    nameContains = 1,
    pathContains = 2,
    nameMatchesRegex = 3,
    pathMatchesRegex = 4,
  };

  constexpr FileMatchRelation(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  constexpr operator Case() const { return case_; }

  // The relation of `raw`, or nothing outside 0…4.
  static constexpr std::optional<FileMatchRelation> fromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return FileMatchRelation(static_cast<Case>(raw));
  }

  constexpr std::int16_t rawValue() const { return case_; }

 private:
  Case case_;
};

}  // namespace chronelle
