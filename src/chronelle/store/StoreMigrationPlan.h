#pragma once
// Store-internal: the inferred mapping between a store file and a newer model.

#include <string>
#include <vector>

#include "chronelle/store/StoreMigration.h"

namespace chronelle {

struct MigrationPlan {
  /// Why the migration cannot be done, one reason per problem found; empty when it can.
  std::vector<std::string> problems;
  /// The statements, in the order they must run (without the metadata update).
  std::vector<StoreMigration::Step> steps;
};

/// Compares what the store read through `reader` holds with `model` (see StoreMigration.h).
/// `older` is the model version that wrote the store, or null when it is not known. Only
/// reads; throws StoreError kSQLite when the store cannot be read.
MigrationPlan planMigration(StoreFileReader& reader, const ObjectModel& model, const ObjectModel* older);

}  // namespace chronelle
