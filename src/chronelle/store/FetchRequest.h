#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "chronelle/store/ObjectModel.h"
#include "chronelle/store/Predicate.h"

namespace chronelle {

/// One sort key of a fetch.
struct SortDescriptor {
  std::string key;  ///< an attribute (or one-hop key path)
  /// Ascending puts absent values first.
  bool ascending = true;
};

/// A computed column of a dictionary fetch: `function` is "sum:", "count:", "min:", "max:"
/// or "average:" over `keyPath`; the result appears under `name`, converted to `resultType`.
/// "sumOfHundredths:" sums each value times 100 rounded to a whole number (halves away from
/// zero), as a 64-bit integer: amounts kept in hundredths add up exactly, where a sum of
/// doubles drifts (0.1 + 0.2 is not 0.3).
struct ExpressionDescription {
  /// The key of the result in each row.
  std::string name;
  /// "sum:", "count:", "min:", "max:" or "average:".
  std::string function;
  /// The attribute the function runs over.
  std::string keyPath;
  /// The type the result is converted to.
  AttributeType resultType = AttributeType::doubleType;
  /// When set, a boolean attribute: only the rows where it holds take part (a sum over none
  /// is zero). One pass can then total a column over some rows beside others over all,
  /// where grouping by the flag would cost a sort.
  std::string onlyWhere = {};
};

enum class FetchResultType { managedObject, managedObjectID, dictionary, count };

/// One row of a dictionary fetch: property or expression name → value.
using ResultDictionary = std::map<std::string, Value>;

/// What to fetch. Object and ID fetches and counts include the context's pending changes;
/// dictionary (and aggregate) fetches read saved data only.
struct FetchRequest {
  /// The entity fetched.
  std::string entityName;
  std::optional<Predicate> predicate;            ///< none: every object of the entity
  std::vector<SortDescriptor> sortDescriptors;   ///< absent values sort first when ascending
  std::size_t fetchLimit = 0;                    ///< 0: no limit
  std::size_t fetchBatchSize = 0;                ///< a loading hint, never a cap on results
  /// Objects of sub-entities count too.
  bool includesSubentities = true;
  /// Objects, object IDs, dictionaries or a count.
  FetchResultType resultType = FetchResultType::managedObject;
  /// Dictionary fetches: attribute names (to-one relationships give ObjectIDs) and
  /// expressions.
  std::vector<std::variant<std::string, ExpressionDescription>> propertiesToFetch;
  /// Dictionary fetches: group rows by these attributes (with aggregate expressions).
  std::vector<std::string> propertiesToGroupBy;
  /// Dictionary fetches: drop duplicate rows.
  bool returnsDistinctResults = false;

  /// Whether rows equal in every sort key are ordered by primary key descending: they follow
  /// the direction of the last sort key (ascending without one), as an index on that key,
  /// which holds the primary key after the value, yields them when read either way.
  bool keysDescending() const { return !sortDescriptors.empty() && !sortDescriptors.back().ascending; }

  /// A fetch of every object of `entity`.
  explicit FetchRequest(std::string entity = "") : entityName(std::move(entity)) {}
};

}  // namespace chronelle
