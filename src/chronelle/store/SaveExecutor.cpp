// Saving: validation, one SQLite transaction with optimistic-lock checks (or a savepoint of
// the open one, see SaveTransaction.cpp), then the in-memory commit (permanent IDs,
// snapshots) and the merge into other contexts and the "did save" notification.

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/SaveSupport.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

void ObjectContext::Impl::adoptPermanentIDs(const std::vector<std::pair<ManagedObject*, ObjectID>>& assigned) {
  if (assigned.empty()) return;
  for (const auto& [object, id] : assigned) {
    auto& state = object->state();
    auto keep = object->shared_from_this();
    byTemp.erase(state.id.storeIdentifier());
    aliases[state.id.storeIdentifier()] = id;
    state.id = id;
    registerObject(keep);
  }
  // Unsaved objects may point at the new IDs' old temporary forms; saved snapshots never
  // do, because an object is saved together with everything it points at.
  for (auto& [seq, object] : changes) {
    auto& state = object->state();
    for (std::size_t i = 0; i < state.slotCount(); ++i) {
      const auto* id = state.values()[i].getIf<ObjectID>();
      if (id && id->isTemporaryID()) state.valuesToChange()[i] = canonical(Value(*id));
    }
  }
}

void ObjectContext::Impl::obtainPermanentIDs(const ObjectSet& objects) {
  std::map<int, std::vector<ManagedObject*>> byTable;
  for (const auto& object : objects) {
    if (!object || object->state().context != self || !object->state().id.isTemporaryID()) continue;
    byTable[object->state().layout->table->index].push_back(object.get());
  }
  if (byTable.empty()) return;
  store->requireStore();
  std::vector<std::pair<ManagedObject*, ObjectID>> assigned;
  writeInTransaction([&] {
    for (auto& [table, members] : byTable) {
      std::int64_t pk = store->reservePrimaryKeys(db(), *members.front()->state().layout->table,
                                                  static_cast<std::int64_t>(members.size()));
      for (auto* object : members) assigned.emplace_back(object, store->objectID(object->entity(), pk++));
    }
  });
  std::vector<ManagedObject*> adopted;
  for (const auto& [object, id] : assigned) adopted.push_back(object);
  journalBeforeCommit(adopted);
  adoptPermanentIDs(assigned);
}

void ObjectContext::Impl::save(const SaveOptions& options) {
  processPendingChanges();
  if (changes.empty()) return;
  if (!parent) store->requireStore();
  validateChanges(*this);

  SavePlan plan;
  if (parent) {
    pushToParent();
  } else {
    plan = classifyChanges(*this);
    writeInTransaction([&] { writeChanges(*this, plan); });
    store->generation.fetch_add(1);
  }
  finishSave(plan, options);
}

void ObjectContext::Impl::finishSave(SavePlan& plan, const SaveOptions& options) {
  // Nothing below touches the store: the in-memory commit cannot half-fail.
  journalBeforeCommit({});
  adoptPermanentIDs(plan.assigned);
  for (auto& update : plan.merged) {
    auto& state = update.object->state();
    const auto& slots = state.layout->slots;
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (state.values()[i] == update.values[i]) continue;
      Value old = std::move(state.valuesToChange()[i]);
      state.values()[i] = update.values[i];
      notifyObservers(*update.object, slots[i].name, old, state.values()[i]);
    }
  }
  ObjectSet inserted, updated, deleted;
  ObjectIDSet insertedIDs, updatedIDs, deletedIDs;
  auto objects = std::move(changes);
  changes.clear();
  for (auto& [seq, object] : objects) {
    auto& state = object->state();
    state.changeSeq = 0;
    state.pendingInsert = state.pendingUpdate = state.pendingDelete = false;
    if (state.deleted) {
      deletedIDs.insert(state.id);
      deleted.push_back(object);
      if (state.context == self) unregister(*object);
      state.fault = true;
      state.deleted = false;
      object->didTurnIntoFault();
      continue;
    }
    if (state.inserted) {
      insertedIDs.insert(state.id);
      inserted.push_back(object);
    } else {
      updatedIDs.insert(state.id);
      updated.push_back(object);
    }
    state.inserted = false;
    state.setSavedToValues();
    state.clearChanges();
  }
  for (const auto& [object, version] : plan.versions) object->state().version = version;
  // Written to the store: the other contexts that merge automatically take it up. A child's
  // save landed in its parent's unsaved state instead.
  announceAfterCommit([this, insertedIDs = std::move(insertedIDs), updatedIDs = std::move(updatedIDs),
                       deletedIDs = std::move(deletedIDs), inserted = std::move(inserted),
                       updated = std::move(updated), deleted = std::move(deleted),
                       around = options.aroundDidSave]() mutable {
    if (!parent) dispatchMerge(insertedIDs, updatedIDs, deletedIDs);
    UserInfo info;
    info[kInsertedObjectsKey] = std::move(inserted);
    info[kUpdatedObjectsKey] = std::move(updated);
    info[kDeletedObjectsKey] = std::move(deleted);
    info[kInsertedObjectIDsKey] = std::move(insertedIDs);
    info[kUpdatedObjectIDsKey] = std::move(updatedIDs);
    info[kDeletedObjectIDsKey] = std::move(deletedIDs);
    const auto post = [&] { NotificationCenter::defaultCenter().post(kDidSaveNotification, self, std::move(info)); };
    if (around) {
      around(post);
    } else {
      post();
    }
  });
}

}  // namespace chronelle
