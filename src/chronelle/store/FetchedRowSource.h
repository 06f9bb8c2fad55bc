#pragma once

// How the columns of a dictionary or row fetch are read from its statement; shared by the
// fetch that prepares the statement and FetchedRow, which reads it.

#include <string>
#include <vector>

#include "chronelle/store/CoordinatorImpl.h"

namespace chronelle {

/// Sums ("sum:", and "sumOfHundredths:", which sums each value × 100 rounded) of no rows
/// are zero, as the platform reports them; other aggregates of nothing are absent.
inline bool isSumFunction(const std::string& function) {
  return function == "sum:" || function == "sumOfHundredths:";
}

/// One requested property of a fetch and where its value sits in the SELECT list.
struct FetchedColumn {
  std::string key;                     ///< the dictionary key
  const PropertySlot* slot = nullptr;  ///< the property, or the one an expression reads
  std::string function;                ///< an expression ("sum:" …); empty for a property
  AttributeType resultType = AttributeType::doubleType;  ///< an expression's result
  int index = 0;                       ///< in the SELECT list
  int entityIndex = -1;                ///< a to-one with subentities: its entity column

  /// True for a stored attribute of type `type` read as it is.
  bool isPlain(AttributeType type) const {
    return function.empty() && slot->attribute != nullptr && slot->attribute->type == type;
  }
};

/// The statement being stepped and its columns.
struct FetchedRowSource {
  const Statement* statement = nullptr;
  std::vector<FetchedColumn> columns;
  const PersistentStoreCoordinator::Impl* store = nullptr;
};

}  // namespace chronelle
