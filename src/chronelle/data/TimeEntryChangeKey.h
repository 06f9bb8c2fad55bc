#pragma once

#include <any>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

namespace chronelle {

// The keys of a time-entry change set (`TimeEntryChanges`), with their raw values equal to
// the case names. Used like an enumeration (`TimeEntryChangeKey::begin`); ordered, so it
// can key a std::map; a value type.
//
// The value each key expects (std::any; an empty std::any, an empty std::optional of the
// expected type or a null chronelle::Value is "no value"): begin, end, originalEnd — a Date;
// taskId — the ObjectID of a Task; notes — a std::string (or C string / string_view);
// billingStatus — a BillingStatus (or its Case); roundingTo, roundingMethod — an integer type
// with a value within the signed 16-bit range; hourlyRate — a finite double (or float; an
// integer is refused); autotracked — a bool. A chronelle::Value holding the expected kind is
// accepted too. Anything else makes DataModifier refuse the whole change set.
class TimeEntryChangeKey {
 public:
  enum Case : std::uint8_t {
    begin,
    end,
    taskId,
    notes,
    billingStatus,
    originalEnd,
    roundingTo,
    roundingMethod,
    hourlyRate,
    autotracked,
  };

  constexpr TimeEntryChangeKey(Case value) : case_(value) {}  // NOLINT: implicit like an enum
  constexpr operator Case() const { return case_; }

  // Every key in declaration order.
  static const std::array<TimeEntryChangeKey, 10>& allCases();
  // The key whose raw value is `raw` ("begin", "taskId", ...); nothing for another text.
  static std::optional<TimeEntryChangeKey> fromRaw(std::string_view raw);
  // The case name, e.g. "originalEnd".
  std::string_view rawValue() const;

 private:
  Case case_;
};

// A change set for `DataModifier::updateTimeEntry`: key → value (see TimeEntryChangeKey for
// the types). A key present with an empty value counts as "no value"; only `notes` treats
// that as an instruction (it clears the notes).
using TimeEntryChanges = std::map<TimeEntryChangeKey, std::any>;

}  // namespace chronelle

template <>
struct std::hash<chronelle::TimeEntryChangeKey> {
  std::size_t operator()(chronelle::TimeEntryChangeKey k) const noexcept {
    return std::hash<int>()(static_cast<int>(static_cast<chronelle::TimeEntryChangeKey::Case>(k)));
  }
};
