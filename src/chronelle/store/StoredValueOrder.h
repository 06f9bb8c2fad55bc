#pragma once

// How the store's SQL orders values, for the parts of the store that must agree with it
// in memory: predicate evaluation and the in-memory sort of fetched objects.

#include "chronelle/store/Value.h"

namespace chronelle {

class ManagedObject;

/// The storage classes SQLite orders by (absent < number < text < blob), plus `other` for
/// what no column holds (lists), which sorts last and compares with nothing.
enum class StorageClass { absent = 0, number = 1, text = 2, blob = 3, other = 4 };

/// The class a value is stored in: bools, integers, doubles, dates (microseconds) and
/// object IDs (primary keys) are numbers; NaN is absent, as SQLite stores it as NULL.
StorageClass storageClassOf(const Value& value);

/// Orders two values as SQLite orders what the store writes for them: by storage class
/// first, numbers by value (integers and doubles exactly, dates as microseconds, object
/// IDs as primary keys with a temporary ID as -1), text and blobs bytewise (the BINARY
/// collation). Negative, zero or positive. Thread-safe.
int compareStoredValues(const Value& a, const Value& b);

/// The fetch's order between two objects equal in every sort key, as the SQL's tie-break
/// gives it: saved objects by primary key, unsaved ones after them (they get higher keys
/// when saved) in the order their context first saw them change; all of it reversed when
/// `descending` (the last sort key runs descending). True when `a` comes first.
bool precedesInKeyOrder(const ManagedObject& a, const ManagedObject& b, bool descending);

}  // namespace chronelle
