#pragma once

// Parser of the predicate format language subset the library uses. Private to the store.

#include <memory>
#include <string_view>
#include <vector>

#include "chronelle/store/PredicateNode.h"

namespace chronelle {

/// Parses `format`, taking one argument per `%@` in order. Throws
/// StoreError(kInvalidPredicate) with the byte position of the fault for a syntax error,
/// an unsupported construct or an argument count mismatch. Never returns null.
std::shared_ptr<const Predicate::Node> parsePredicateFormat(std::string_view format,
                                                            std::vector<Value> arguments);

}  // namespace chronelle
