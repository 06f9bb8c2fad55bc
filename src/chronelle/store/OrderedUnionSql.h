#pragma once
// Store-internal: a query sorted by one indexed column whose condition is "a range of that
// column, or other rows", as two searches merged in order.

#include <cstddef>
#include <string>

#include "chronelle/store/Predicate.h"

namespace chronelle {

/// The rows of `selectFrom` (select list and FROM, joins included) that satisfy `common` and
/// either `range` or `otherwise`, sorted by the select's column number `sortColumn` (from 1)
/// and then by its first column, the primary key, both ascending or both descending. Read
/// as a compound select, the range side in the order of an index on the column (which holds
/// the key after the value) and the other side apart, so that SQLite merges the two
/// without sorting the range's rows. A row for which `range` is unknown (NULL) belongs to
/// the other side.
SqlFragment orderedUnionSql(const std::string& selectFrom, const SqlFragment& common, const SqlFragment& range,
                            const SqlFragment& otherwise, std::size_t sortColumn, bool ascending);

}  // namespace chronelle
