#pragma once
// Store-internal steps of ObjectContext::save(): validation and the writes of one
// transaction. Nothing here changes an object: what the transaction decided is returned
// in the plan and applied by the caller once the transaction committed.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "chronelle/store/ContextImpl.h"

namespace chronelle {

struct SavePlan {
  std::vector<ManagedObject*> inserts;
  std::vector<ManagedObject*> updates;  ///< with changed columns
  std::vector<ManagedObject*> deletes;  ///< saved objects only
  /// Decided inside the transaction:
  std::unordered_map<std::string, std::int64_t> newKeys;  ///< temporary UUID → primary key
  std::vector<std::pair<ManagedObject*, ObjectID>> assigned;
  struct Merge {
    ManagedObject* object;
    std::vector<Value> values;  ///< the values written after resolving a conflict
  };
  std::vector<Merge> merged;
  std::vector<std::pair<ManagedObject*, std::int64_t>> versions;  ///< new row versions
};

/// Mandatory (1570), type (1550) and entity checks of inserted and updated objects, and
/// deny rules (1600) of deleted ones. Throws the one error, or 1560 with all of them.
void validateChanges(ObjectContext::Impl& context);
SavePlan classifyChanges(const ObjectContext::Impl& context);
/// Assigns keys and writes every row inside the caller's open transaction; resolves
/// optimistic-lock conflicts by the context's merge policy. Throws StoreError.
void writeChanges(ObjectContext::Impl& context, SavePlan& plan);

}  // namespace chronelle
