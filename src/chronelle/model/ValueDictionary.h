#pragma once

#include <map>
#include <string>

#include "chronelle/store/Value.h"

namespace chronelle {

/// A dictionary from string keys to plain values (strings, numbers, booleans, instants, data,
/// object IDs and lists of them). It is what a rule keeps in its `userInfo` and what an
/// activity-log entry turns into with `toDictionary()`. Ordered by key, so two dictionaries
/// with the same entries compare equal. A value type.
using ValueDictionary = std::map<std::string, Value>;

}  // namespace chronelle
