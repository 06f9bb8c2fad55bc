#pragma once

#include <system_error>
#include <type_traits>

namespace chronelle {

// Why DataModifier refused a change set (TimeEntryChanges, NodeChanges), thrown as
// std::system_error whose what() names the key, what it expected and what it got. A refused
// change set changes nothing: every value is checked before the first is applied.
enum class ChangeSetError {
  // A key holds a value of another type than the one it expects (an integer for
  // `hourlyRate`, text for `colorId`).
  wrongType = 1,
  // A value of the right type that its attribute cannot hold (`colorId` 70000 in a 16-bit
  // attribute, a rate that is not a finite number).
  valueOutOfRange = 2,
};

// The category named "ChangeSetError". Thread-safe singleton.
const std::error_category& changeSetErrorCategory();
std::error_code make_error_code(ChangeSetError error);

}  // namespace chronelle

template <>
struct std::is_error_code_enum<chronelle::ChangeSetError> : std::true_type {};
