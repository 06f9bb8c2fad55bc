// Identity map, change tracking, deletion with its rules, rollback and refresh.

#include <algorithm>
#include <stdexcept>

#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

Connection& ObjectContext::Impl::db() {
  if (!connection) connection = store->acquire(coordinator);
  return *connection;
}

// --- Identity --------------------------------------------------------------------------

ObjectID ObjectContext::Impl::canonical(const ObjectID& id) const {
  if (!id.isTemporaryID() || aliases.empty()) return id;
  auto it = aliases.find(id.storeIdentifier());
  return it == aliases.end() ? id : it->second;
}

Value ObjectContext::Impl::canonical(const Value& value) const {
  const auto* id = value.getIf<ObjectID>();
  if (id == nullptr || !id->isTemporaryID() || aliases.empty()) return value;
  return Value(canonical(*id));
}

const EntityDescription* ObjectContext::Impl::entityNamed(const std::string& name) const {
  // An ID's entity name is one shared text for the rest of the process, so its address
  // names the entity as well as its letters do; most look-ups ask for the one before.
  if (&name != lastEntityName_) {
    lastEntity_ = model->entity(name);
    lastEntityName_ = &name;
  }
  return lastEntity_;
}

std::shared_ptr<ManagedObject> ObjectContext::Impl::registered(const ObjectID& raw) const {
  if (!raw.isValid()) return nullptr;
  // Every relationship read comes here: a saved ID is its own canonical form and is not
  // copied (its store identifier is a heap string).
  ObjectID aliased;
  if (raw.isTemporaryID() && !aliases.empty()) aliased = canonical(raw);
  const ObjectID& id = aliased.isValid() ? aliased : raw;
  if (id.isTemporaryID()) {
    auto it = byTemp.find(id.storeIdentifier());
    return it == byTemp.end() ? nullptr : it->second;
  }
  if (id.storeIdentifier() != store->storeUUID) return nullptr;
  const EntityDescription* entity = entityNamed(id.entityName());
  if (entity == nullptr) return nullptr;
  const auto& map = byPk[static_cast<std::size_t>(entity->layout().table->index)];
  auto it = map.find(id.primaryKey());
  if (it == map.end() || !it->second->entity().isKindOf(*entity)) return nullptr;
  return it->second;
}

void ObjectContext::Impl::registerObject(const std::shared_ptr<ManagedObject>& object) {
  auto& state = object->state();
  state.context = self;
  if (state.id.isTemporaryID()) {
    byTemp[state.id.storeIdentifier()] = object;
  } else {
    byPk[static_cast<std::size_t>(state.layout->table->index)][state.id.primaryKey()] = object;
  }
}

void ObjectContext::Impl::unregister(ManagedObject& object) {
  auto& state = object.state();
  if (state.id.isTemporaryID()) {
    byTemp.erase(state.id.storeIdentifier());
  } else {
    byPk[static_cast<std::size_t>(state.layout->table->index)].erase(state.id.primaryKey());
  }
  state.context = nullptr;
}

CachedStatement ObjectContext::Impl::rowByKey(const TableLayout& table, std::int64_t pk) {
  auto statement = db().cached(table.rowByKeySql);
  statement->bindInt64(1, pk);
  ++fetchCount;
  return statement;
}

std::vector<Value> ObjectContext::Impl::decodeRow(const EntityDescription::Layout& layout, const Statement& row) const {
  std::vector<Value> values;
  decodeRowInto(layout, row, values);
  return values;
}

namespace {

// A stored column that converts to its value where the vector constructs the element: the
// value read is made in its place, not made aside and then moved in (a move and a
// destruction of the variant per column, a tenth of making an object).
struct StoredColumn {
  const Statement& row;
  int column;
  AttributeType type;
  operator Value() const { return readColumn(row, column, type); }
};

// The value of a to-one whose key is at `column` and the code of its concrete entity at
// `entityColumn` (-1: the relationship names an entity without subentities).
Value toOneValue(const ObjectContext::Impl& context, const PropertySlot& slot, const Statement& row, int column,
                 int entityColumn) {
  if (row.isNull(column)) return Value();
  const EntityDescription* destination = slot.destination;
  if (entityColumn >= 0) {
    if (const auto* concrete = context.store->entityForCode(row.columnInt64(entityColumn))) destination = concrete;
  }
  return Value(context.savedID(*destination, row.columnInt64(column)));
}

}  // namespace

Value ObjectContext::Impl::decodeSlot(const PropertySlot& slot, const Statement& row,
                                      const std::vector<int>& positions) const {
  const int column = positions[static_cast<std::size_t>(slot.column)];
  if (!slot.isRelationship()) return readColumn(row, column, slot.attribute->type);
  return toOneValue(*this, slot, row, column,
                    slot.entityColumn >= 0 ? positions[static_cast<std::size_t>(slot.entityColumn)] : -1);
}

void ObjectContext::Impl::decodeRowInto(const EntityDescription::Layout& layout, const Statement& row,
                                        std::vector<Value>& values, const Unfetched* unfetched) const {
  const auto& slots = layout.slots;
  // A row of some columns (only a new object takes one) sets those; the others
  // stay absent, read with the rest of the fetch's objects on first use. Either way each
  // value is made in its place: assigning over an absent value goes through the variant's
  // assignment for every column. The vector's room is kept.
  const std::uint8_t* fetched =
      unfetched != nullptr ? unfetched->fetchedSlots[static_cast<std::size_t>(layout.index)].data() : nullptr;
  const auto columnOf = [&](int column) {
    return unfetched != nullptr ? unfetched->positions[static_cast<std::size_t>(column)] : 3 + column;
  };
  values.clear();
  values.reserve(slots.size());
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const auto& slot = slots[i];
    if (fetched != nullptr && fetched[i] == 0) {
      values.emplace_back();
      continue;
    }
    const int column = columnOf(slot.column);
    if (!slot.isRelationship()) {
      values.emplace_back(StoredColumn{row, column, slot.attribute->type});
    } else {
      values.push_back(toOneValue(*this, slot, row, column, slot.entityColumn >= 0 ? columnOf(slot.entityColumn) : -1));
    }
  }
}

void ObjectContext::Impl::applyRow(ManagedObject& object, const Statement& row, bool keepChangedValues,
                                   const std::shared_ptr<const Unfetched>& unfetched) {
  auto& state = object.state();
  const auto& slots = state.layout->slots;
  const bool hadValues = state.hasSaved();
  if (!hadValues && !keepChangedValues) {
    // A newly fetched object: nobody observes it yet, so the row is decoded straight into
    // its values (those objectForRow makes have none yet), and the saved state shares them
    // until the first change.
    state.version = row.columnInt64(2);
    decodeRowInto(*state.layout, row, state.rawValues(), unfetched.get());
    state.setUnfetched(unfetched);
    state.setSavedToValues();
    return;
  }
  if (state.unfetched()) {
    // Observers are told the old value of what changes, so the values the object was
    // fetched without are read first; unobserved, the whole row simply replaces them (an
    // object with values still to read has changed none: a change reads them all first).
    if (!state.observers.empty()) {
      state.values();
    } else {
      state.version = row.columnInt64(2);
      state.setValues(decodeRow(*state.layout, row));
      state.setSavedToValues();
      return;
    }
  }
  state.version = row.columnInt64(2);
  std::vector<Value> fresh = decodeRow(*state.layout, row);
  // Values changed here and kept stay apart from the saved state; otherwise every value is
  // the stored one again and the two are shared.
  bool keptAny = false;
  std::vector<std::pair<std::size_t, Value>> changedKeys;
  // Written in place: the saved state is replaced below, whether it shared them or not.
  auto& values = state.values();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (keepChangedValues && i < state.changed.size() && state.changed[i]) {
      keptAny = true;
      continue;
    }
    if (hadValues && !(values[i] == fresh[i])) changedKeys.emplace_back(i, values[i]);
    values[i] = keepChangedValues ? fresh[i] : std::move(fresh[i]);
  }
  if (keptAny) {
    state.setSaved(std::move(fresh));
  } else {
    state.setSavedToValues();
  }
  for (auto& [slot, old] : changedKeys) notifyObservers(object, slots[slot].name, old, state.values()[slot]);
}

std::shared_ptr<ManagedObject> ObjectContext::Impl::objectForRow(const Statement& row, const TableLayout& table,
                                                                 const std::shared_ptr<const Unfetched>& unfetched) {
  const std::int64_t pk = row.columnInt64(0);
  auto& map = byPk[static_cast<std::size_t>(table.index)];
  if (auto it = map.find(pk); it != map.end()) {
    // Held here: observers told of the new values may register other objects, which can
    // move the map's entries.
    auto object = it->second;
    auto& state = object->state();
    // Another context saved the row since this object was read: an object without
    // unsaved changes shows the saved state (read whole when the fetch carried only some
    // columns).
    if (!state.hasChanges() && state.version != row.columnInt64(2)) {
      if (!unfetched) {
        applyRow(*object, row, false);
      } else {
        auto whole = rowByKey(table, pk);
        if (whole->step()) applyRow(*object, *whole, false);
      }
    }
    return object;
  }
  const EntityDescription* entity = store->entityForCode(row.columnInt64(1));
  if (entity == nullptr || entity->layout().table.get() != &table) {
    throw StoreError(StoreError::kSQLite, "row " + std::to_string(pk) + " of " + table.name + " has an unknown entity");
  }
  // Its values are made from the row in their places, not over blanks made first.
  auto object = model->instantiate(*entity, false);
  auto& state = object->state();
  state.model = model;
  state.id = savedID(*entity, pk);
  applyRow(*object, row, false, unfetched);
  if (unfetched) unfetched->keys.push_back(pk);  // its fetch's later read finds it by that
  registerObject(object);
  object->awakeFromFetch();
  return object;
}

std::shared_ptr<ManagedObject> ObjectContext::Impl::objectWithID(const ObjectID& raw) {
  if (auto object = registered(raw)) return object;
  const ObjectID id = canonical(raw);
  if (parent) {
    if (auto inParent = changedInParent(id)) return *inParent;
  }
  if (!id.isValid() || id.isTemporaryID() || id.storeIdentifier() != store->storeUUID) return nullptr;
  const EntityDescription* entity = entityNamed(id.entityName());
  if (entity == nullptr) return nullptr;
  const TableLayout& table = *entity->layout().table;
  auto statement = rowByKey(table, id.primaryKey());
  if (!statement->step()) return nullptr;
  auto object = objectForRow(*statement, table);
  return object->entity().isKindOf(*entity) ? object : nullptr;
}

std::shared_ptr<ManagedObject> ObjectContext::Impl::insert(const EntityDescription& entity) {
  if (entity.isAbstract()) throw std::invalid_argument("entity " + entity.name() + " is abstract");
  auto object = model->instantiate(entity);
  auto& state = object->state();
  state.model = model;
  state.id = ObjectID::temporary(entity.name());
  for (std::size_t i = 0; i < state.layout->slots.size(); ++i) {
    if (const auto* attribute = state.layout->slots[i].attribute) state.rawValues()[i] = attribute->defaultValue;
  }
  state.inserted = true;
  registerObject(object);
  noteChange(*object, ChangeKind::insert);
  registerUndoOfInsert(*object);
  object->awakeFromInsert();
  return object;
}

// --- Changes ---------------------------------------------------------------------------

void ObjectContext::Impl::noteChange(ManagedObject& object, ChangeKind kind) {
  auto& state = object.state();
  if (state.changeSeq == 0) {
    state.changeSeq = nextSeq++;
    changes.emplace(state.changeSeq, object.shared_from_this());
  }
  switch (kind) {
    case ChangeKind::insert: state.pendingInsert = true; break;
    case ChangeKind::update: state.pendingUpdate = true; break;
    case ChangeKind::remove: state.pendingDelete = true; break;
  }
  // Main-queue contexts process their changes at the end of the running task, as the
  // platform does at the end of an event, so "objects did change" follows each task.
  if (type == ConcurrencyType::mainQueue && !processScheduled) {
    processScheduled = true;
    std::weak_ptr<ObjectContext> weak = self->weak_from_this();
    MainQueue::shared().deferUntilEndOfTask([weak] {
      if (auto context = weak.lock()) context->processPendingChanges();
    });
  }
}

void ObjectContext::Impl::dropFromChanges(ManagedObject& object) {
  auto& state = object.state();
  if (state.changeSeq != 0) changes.erase(state.changeSeq);
  state.changeSeq = 0;
  state.pendingInsert = state.pendingUpdate = state.pendingDelete = false;
}

void ObjectContext::Impl::deleteObject(ManagedObject& object) {
  auto& state = object.state();
  if (state.context != self) throw std::invalid_argument("deleteObject: the object belongs to another context");
  if (state.deleted) return;
  // A deleted object keeps every value: the save's observers read it, and undoing the
  // deletion writes the row back from it.
  state.values();
  state.deleted = true;
  state.deletionProcessed = false;
  noteChange(object, ChangeKind::remove);
  registerUndoOfDelete(object);
}

void ObjectContext::Impl::applyDeleteRules(ManagedObject& object) {
  auto& state = object.state();
  const auto& layout = *state.layout;
  for (std::size_t i = 0; i < layout.slots.size(); ++i) {
    const auto& slot = layout.slots[i];
    if (!slot.isRelationship()) continue;
    const DeleteRule rule = slot.relationship->deleteRule;
    if (rule != DeleteRule::nullify && rule != DeleteRule::cascade) continue;
    auto target = relatedObject(object, static_cast<int>(i));
    if (!target || target->state().deleted) continue;
    if (rule == DeleteRule::cascade) {
      deleteObject(*target);
      continue;
    }
    // Nullify: the target forgets this object. The deleted object keeps its own value,
    // so observers of the save can still see what it belonged to.
    const auto& inverse = *target->entity().relationship(slot.relationship->inverseName);
    if (inverse.toMany) {
      target->state().toManyChanged = true;
      noteChange(*target, ChangeKind::update);
      notifyObservers(*target, inverse.name, Value(), Value());
    } else if (target->value(inverse.name) == Value(state.id)) {
      assignSlot(*target, target->entity().layout().slot(inverse.name), Value());
    }
  }
  for (std::size_t i = 0; i < layout.toMany.size(); ++i) {
    const auto& toMany = layout.toMany[i];
    const DeleteRule rule = toMany.relationship->deleteRule;
    if (rule != DeleteRule::nullify && rule != DeleteRule::cascade) continue;
    for (auto& target : relatedObjects(object, static_cast<int>(i))) {
      if (rule == DeleteRule::cascade) {
        deleteObject(*target);
      } else {
        assignSlot(*target, toMany.inverseSlot, Value());
      }
    }
  }
}

void ObjectContext::Impl::processPendingChanges() {
  processScheduled = false;
  // Delete rules, until cascades stop adding deletions.
  for (bool again = true; again;) {
    again = false;
    std::vector<std::shared_ptr<ManagedObject>> pending;
    for (auto& [seq, object] : changes) {
      if (object->state().deleted && !object->state().deletionProcessed) pending.push_back(object);
    }
    for (auto& object : pending) {
      object->state().deletionProcessed = true;
      object->prepareForDeletion();
      applyDeleteRules(*object);
      again = true;
    }
  }
  ObjectSet inserted, updated, deleted;
  std::vector<std::shared_ptr<ManagedObject>> discarded;
  for (auto& [seq, object] : changes) {
    auto& state = object->state();
    if (state.inserted && state.deleted) {
      // Never saved: it simply goes away. Observers that were told about its insertion
      // are told about its deletion; one inserted and deleted since the last
      // processing was never announced at all.
      if (!state.pendingInsert) deleted.push_back(object);
      state.pendingInsert = state.pendingUpdate = state.pendingDelete = false;
      discarded.push_back(object);
      continue;
    }
    if (state.deleted && state.pendingDelete) {
      deleted.push_back(object);
    } else if (!state.deleted && state.pendingInsert) {
      // Also a saved object whose announced deletion was undone.
      inserted.push_back(object);
    } else if (!state.deleted && state.pendingUpdate) {
      // Includes an inserted object edited after its insertion was announced.
      updated.push_back(object);
    }
    state.pendingInsert = state.pendingUpdate = state.pendingDelete = false;
  }
  for (auto& object : discarded) {
    dropFromChanges(*object);
    unregister(*object);
    object->state().inserted = false;
  }
  if (inserted.empty() && updated.empty() && deleted.empty()) return;
  UserInfo info;
  info[kInsertedObjectsKey] = std::move(inserted);
  info[kUpdatedObjectsKey] = std::move(updated);
  info[kDeletedObjectsKey] = std::move(deleted);
  NotificationCenter::defaultCenter().post(kObjectsDidChangeNotification, self, std::move(info));
}

void ObjectContext::Impl::rollback() {
  auto objects = changes;  // keeps every object alive while it is reset
  changes.clear();
  processScheduled = false;
  clearUndo();
  // What observers were told about is announced back: inserts as deletions, deletions as
  // insertions, edits as updates. Changes never announced were never seen.
  ObjectSet inserted, updated, deleted;
  for (auto& [seq, object] : objects) {
    auto& state = object->state();
    const bool insertAnnounced = state.inserted && !state.pendingInsert;
    const bool deletionAnnounced = state.deleted && !state.inserted && !state.pendingDelete;
    state.changeSeq = 0;
    state.pendingInsert = state.pendingUpdate = state.pendingDelete = false;
    state.deleted = false;
    state.deletionProcessed = false;
    if (state.inserted) {
      if (state.context == self) unregister(*object);
      state.inserted = false;
      state.clearChanges();
      if (insertAnnounced) deleted.push_back(object);
      continue;
    }
    std::vector<std::pair<std::size_t, Value>> changedKeys;
    if (state.hasSaved() && !state.savedIsValues()) {
      const auto& saved = state.saved();
      auto& values = state.values();
      for (std::size_t i = 0; i < values.size() && i < saved.size(); ++i) {
        if (!(values[i] == saved[i])) changedKeys.emplace_back(i, std::move(values[i]));
      }
      state.setValues(saved);
      state.setSavedToValues();
    }
    const bool wasUpdated = state.changedCount > 0 || state.toManyChanged;
    state.clearChanges();
    for (auto& [slot, old] : changedKeys) {
      notifyObservers(*object, state.layout->slots[slot].name, old, state.values()[slot]);
    }
    if (deletionAnnounced) {
      inserted.push_back(object);
    } else if (wasUpdated) {
      updated.push_back(object);
    }
  }
  if (inserted.empty() && updated.empty() && deleted.empty()) return;
  UserInfo info;
  info[kInsertedObjectsKey] = std::move(inserted);
  info[kUpdatedObjectsKey] = std::move(updated);
  info[kDeletedObjectsKey] = std::move(deleted);
  NotificationCenter::defaultCenter().post(kObjectsDidChangeNotification, self, std::move(info));
}

void ObjectContext::Impl::refresh(ManagedObject& object, bool mergeChanges) {
  auto& state = object.state();
  if (state.context != self || state.inserted) return;
  const TableLayout& table = *state.layout->table;
  auto statement = rowByKey(table, state.id.primaryKey());
  if (!statement->step()) {
    // The row is gone: another context deleted it. The object turns into a fault.
    turnIntoFault(object);
    return;
  }
  applyRow(object, *statement, mergeChanges);
  if (!mergeChanges) {
    state.clearChanges();
    state.deleted = false;
    state.deletionProcessed = false;
    dropFromChanges(object);
  }
}

void ObjectContext::Impl::detachAll() {
  readUnfetchedOfHeldObjects();
  for (auto& map : byPk) {
    for (auto& [pk, object] : map) object->state().context = nullptr;
    map.clear();
  }
  for (auto& [key, object] : byTemp) object->state().context = nullptr;
  byTemp.clear();
  for (auto& [seq, object] : changes) object->state().changeSeq = 0;
  changes.clear();
  aliases.clear();
}

void ObjectContext::Impl::reset() {
  clearUndo();
  detachAll();
  processScheduled = false;
}

}  // namespace chronelle
