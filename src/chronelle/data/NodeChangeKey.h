#pragma once

#include <any>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

namespace chronelle {

// The keys of a node change set (`NodeChanges`), with raw values equal to the case names.
// Used like an enumeration (`NodeChangeKey::parentId`); ordered, so it can key a std::map;
// a value type.
//
// The value each key expects (std::any; an empty std::any, an empty std::optional of the
// expected type or a null chronelle::Value is "no value"): name, notes — a std::string (or C
// string / string_view); colorId — an integer type with a value within the signed 16-bit
// range, or a ColorSet::ID; parentId — the ObjectID of a Folder; order — an OrderOption;
// archived, moveToRoot, isBillableSet, isBillable, hourlyRateIsSet — a bool; hourlyRate — a
// finite double (or float; an integer is refused). A chronelle::Value holding the expected
// kind is accepted too. Anything else makes DataModifier refuse the whole change set.
class NodeChangeKey {
 public:
  enum Case : std::uint8_t {
    name,
    colorId,
    parentId,
    order,
    notes,
    archived,
    moveToRoot,
    isBillableSet,
    isBillable,
    hourlyRateIsSet,
    hourlyRate,
  };

  constexpr NodeChangeKey(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  constexpr operator Case() const { return case_; }

  // Every key in declaration order.
  static const std::array<NodeChangeKey, 11>& allCases();
  // The key whose raw value is `raw`; nothing for another text.
  static std::optional<NodeChangeKey> fromRaw(std::string_view raw);
  // The case name, e.g. "hourlyRateIsSet".
  std::string_view rawValue() const;

 private:
  Case case_;
};

// A change set for `DataModifier::updateNode` and for creating tasks and folders: key →
// value (see NodeChangeKey for the types). A key present with an empty value counts as "no
// value"; `notes` then clears a task's notes, and `parentId`/`order` still take part in
// the position step.
using NodeChanges = std::map<NodeChangeKey, std::any>;

}  // namespace chronelle

template <>
struct std::hash<chronelle::NodeChangeKey> {
  std::size_t operator()(chronelle::NodeChangeKey k) const noexcept {
    return std::hash<int>()(static_cast<int>(static_cast<chronelle::NodeChangeKey::Case>(k)));
  }
};
