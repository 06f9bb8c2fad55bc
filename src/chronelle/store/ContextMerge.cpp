// Merging: after a context saved to the store, every other context of the coordinator that
// merges automatically takes the saved changes on its own queue, as do the saving
// context's children that merge from their parent.

#include "chronelle/store/ContextImpl.h"

namespace chronelle {

void ObjectContext::Impl::dispatchMerge(const ObjectIDSet& inserted, const ObjectIDSet& updated,
                                        const ObjectIDSet& deleted) {
  if (inserted.empty() && updated.empty() && deleted.empty()) return;
  std::vector<std::shared_ptr<ObjectContext>> targets;
  {
    std::lock_guard lock(store->contextsMutex);
    for (const auto& weak : store->contexts) {
      auto context = weak.lock();
      if (!context || context.get() == self) continue;
      const Impl& other = context->impl();
      if (!other.automaticallyMerges.load()) continue;
      // A child context merges from its parent only.
      if (other.parent && other.parent.get() != self) continue;
      targets.push_back(std::move(context));
    }
  }
  if (targets.empty()) return;
  // One copy of the ID sets for every target; a big save is not copied per context.
  auto info = std::make_shared<const UserInfo>(UserInfo{{kInsertedObjectIDsKey, inserted},
                                                        {kUpdatedObjectIDsKey, updated},
                                                        {kDeletedObjectIDsKey, deleted}});
  for (auto& target : targets) {
    // perform() keeps the target alive while the merge runs, and skips it once it is gone.
    ObjectContext* raw = target.get();
    target->perform([raw, info] { raw->impl().mergeChanges(*info); });
  }
}

void ObjectContext::Impl::mergeChanges(const UserInfo& info) {
  auto ids = [&](const char* key) {
    auto it = info.find(key);
    const auto* set = it == info.end() ? nullptr : std::any_cast<ObjectIDSet>(&it->second);
    return set != nullptr ? *set : ObjectIDSet{};
  };
  for (const auto& id : ids(kDeletedObjectIDsKey)) {
    if (auto object = registered(id)) turnIntoFault(*object);
  }
  for (const auto& id : ids(kUpdatedObjectIDsKey)) {
    if (auto object = registered(id)) mergeObject(*object);
  }
  NotificationCenter::defaultCenter().post(kDidMergeChangesObjectIDsNotification, self, info);
}

void ObjectContext::Impl::mergeObject(ManagedObject& object) {
  auto& state = object.state();
  if (state.inserted || state.fault) return;
  // A child whose parent holds unsaved changes of the object reads them from there
  // (its own edits stay on top).
  if (parent && changedInParent(state.id)) return;
  const TableLayout& table = *state.layout->table;
  auto row = rowByKey(table, state.id.primaryKey());
  if (!row->step()) {
    turnIntoFault(object);
    return;
  }
  if (row->columnInt64(2) == state.version) return;  // already the saved state
  if (!state.hasChanges()) {
    applyRow(object, *row, false);
    return;
  }
  // Unsaved changes of this context: a property changed here only keeps its value, one
  // changed on both sides follows the merge policy. With no policy the object is left as it
  // is, so its save reports the conflict.
  switch (mergePolicy) {
    case MergePolicy::error: return;
    case MergePolicy::mergeByPropertyStoreTrump: {
      const std::vector<Value> fresh = decodeRow(*state.layout, *row);
      for (std::size_t i = 0; i < state.changed.size(); ++i) {
        if (state.changed[i] && !(fresh[i] == state.saved()[i])) {
          state.changed[i] = 0;
          --state.changedCount;
        }
      }
      break;
    }
    case MergePolicy::mergeByPropertyObjectTrump: break;
  }
  applyRow(object, *row, true);
  if (!state.hasChanges()) dropFromChanges(object);
}

void ObjectContext::Impl::turnIntoFault(ManagedObject& object) {
  auto& state = object.state();
  dropFromChanges(object);
  unregister(object);
  state.fault = true;
  state.deleted = false;
  state.deletionProcessed = false;
  state.inserted = false;
  object.didTurnIntoFault();
}

}  // namespace chronelle
