#pragma once

#include <string>
#include <vector>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/Value.h"

namespace chronelle {

/// A predicate before parsing: its format text with `%@` placeholders and the arguments
/// that fill them, in order. Queries hand this out as well as the parsed predicate, so the
/// exact text a read runs can be inspected and logged. A value type.
struct PredicateSpec {
  /// The predicate format text, with `%@` for each argument.
  std::string format;
  /// The values of the `%@` placeholders, in order.
  std::vector<Value> arguments;

  /// The parsed predicate. Throws StoreError (kInvalidPredicate) when the text does not
  /// parse or the argument count does not match the placeholders.
  Predicate toPredicate() const { return Predicate::parse(format, arguments); }

  /// Equal when every field is.
  friend bool operator==(const PredicateSpec&, const PredicateSpec&) = default;
};

}  // namespace chronelle
