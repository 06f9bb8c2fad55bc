#pragma once
// Store-internal state of a ManagedObject, owned by the object and managed by its context.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/store/EntityLayout.h"
#include "chronelle/store/ManagedObject.h"

namespace chronelle {

struct ManagedObject::State {
  std::shared_ptr<const ObjectModel> model;  ///< keeps the entity description alive
  const EntityDescription* entity = nullptr;
  const EntityDescription::Layout* layout = nullptr;
  ObjectID id;
  ObjectContext* context = nullptr;

  /// Current values and the snapshot last read from or written to the store, one per
  /// slot of the layout. A to-one relationship holds the related object's ObjectID.
  ///@{
  std::vector<Value> values;
  std::vector<Value> committed;
  ///@}
  /// Slots set since the last commit; setting an equal value counts too.
  std::vector<std::uint8_t> changed;
  std::size_t changedCount = 0;
  /// A to-many relationship of the object changed (through the inverse side).
  bool toManyChanged = false;
  /// Z_OPT of the committed row; 0 before the first save.
  std::int64_t version = 0;

  bool inserted = false;
  bool deleted = false;
  bool fault = false;
  /// Delete rules have run for this deletion.
  bool deletionProcessed = false;
  /// Position in the context's change list (0: not in it).
  std::uint64_t changeSeq = 0;
  /// Kinds of change not yet reported by processPendingChanges.
  ///@{
  bool pendingInsert = false, pendingUpdate = false, pendingDelete = false;
  ///@}

  /// Related IDs of each to-many read from the store, valid for one store generation.
  struct ToManyCache {
    std::uint64_t generation = 0;
    std::vector<ObjectID> ids;
  };
  std::vector<ToManyCache> toManyCache;

  struct Observer {
    std::uint64_t id;
    std::function<void(const ObservedChange&)> callback;
  };
  std::map<std::string, std::vector<Observer>, std::less<>> observers;
  std::uint64_t nextObserverId = 1;

  bool hasSlotChanges() const { return changedCount > 0; }
  bool isUpdated() const { return !inserted && !deleted && (changedCount > 0 || toManyChanged); }
  bool hasChanges() const { return inserted || deleted || changedCount > 0 || toManyChanged; }

  void markChanged(std::size_t slot) {
    if (changed.size() != values.size()) changed.assign(values.size(), 0);
    if (!changed[slot]) {
      changed[slot] = 1;
      ++changedCount;
    }
  }
  void clearChanges() {
    changed.assign(values.size(), 0);
    changedCount = 0;
    toManyChanged = false;
  }
};

}  // namespace chronelle
