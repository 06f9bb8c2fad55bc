// Child contexts: the parent's unsaved state is the child's store. Every access to the
// parent goes through the parent's performAndWait, so a child may live on another queue.

#include <stdexcept>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

std::shared_ptr<ManagedObject> ObjectContext::Impl::importFromParent(const ManagedObject& inParent,
                                                                     const Impl& parentImpl) {
  auto& source = inParent.state();
  if (source.deleted) return nullptr;
  std::vector<Value> values;
  values.reserve(source.slotCount());
  for (const auto& value : source.values()) values.push_back(parentImpl.canonical(value));

  if (auto mine = registered(source.id)) {
    auto& state = mine->state();
    if (state.hasChanges()) return mine;  // this context's own edits stay on top
    std::vector<std::pair<std::size_t, Value>> changedKeys;
    const auto& current = state.values();
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!(current[i] == values[i])) changedKeys.emplace_back(i, current[i]);
    }
    state.setValues(std::move(values));
    state.setSavedToValues();
    state.version = source.version;
    for (auto& [slot, old] : changedKeys) notifyObservers(*mine, state.layout->slots[slot].name, old, state.values()[slot]);
    return mine;
  }
  auto object = model->instantiate(*source.entity);
  auto& state = object->state();
  state.model = model;
  state.id = source.id;
  state.setValues(std::move(values));
  state.setSavedToValues();
  state.version = source.version;
  registerObject(object);
  object->awakeFromFetch();
  return object;
}

std::optional<std::shared_ptr<ManagedObject>> ObjectContext::Impl::changedInParent(const ObjectID& id) {
  std::optional<std::shared_ptr<ManagedObject>> result;
  parent->performAndWait([&] {
    const Impl& p = parent->impl();
    auto inParent = p.registered(id);
    if (inParent && inParent->state().hasChanges()) result = importFromParent(*inParent, p);
  });
  return result;
}

ObjectContext::Impl::ParentPending ObjectContext::Impl::parentPending(const FetchRequest& request,
                                                                     const EntityDescription& entity) {
  ParentPending pending;
  parent->performAndWait([&] {
    const Impl& p = parent->impl();
    for (const auto& [seq, object] : p.changes) {
      const auto& e = object->entity();
      if (request.includesSubentities ? !e.isKindOf(entity) : &e != &entity) continue;
      const auto& state = object->state();
      if (!state.inserted) pending.hidden.insert(p.canonical(state.id));
      if (state.deleted) continue;
      if (auto mine = registered(state.id); mine && mine->state().hasChanges()) continue;
      if (auto imported = importFromParent(*object, p)) pending.objects.push_back(std::move(imported));
    }
  });
  return pending;
}

std::shared_ptr<ManagedObject> ObjectContext::Impl::insertWithID(const EntityDescription& entity, const ObjectID& id) {
  auto object = model->instantiate(entity);
  auto& state = object->state();
  state.model = model;
  state.id = id;
  state.inserted = true;
  registerObject(object);
  noteChange(*object, ChangeKind::insert);
  registerUndoOfInsert(*object);
  return object;
}

void ObjectContext::Impl::pushToParent() {
  std::vector<std::shared_ptr<ManagedObject>> objects;
  for (const auto& [seq, object] : changes) objects.push_back(object);
  parent->performAndWait([&] {
    Impl& p = parent->impl();
    // Every object an edit lands on must exist in the parent before anything changes.
    std::vector<std::shared_ptr<ManagedObject>> targets(objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
      const auto& state = objects[i]->state();
      if (state.inserted) continue;
      targets[i] = p.objectWithID(state.id);
      if (!targets[i]) {
        throw StoreError(StoreError::kObjectNotFound,
                         "the parent context has no object " + state.id.uriRepresentation());
      }
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
      const auto& state = objects[i]->state();
      if (state.inserted && !state.deleted) {
        targets[i] = p.registered(state.id);
        if (!targets[i]) targets[i] = p.insertWithID(*state.entity, state.id);
      }
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
      auto& state = objects[i]->state();
      if (state.deleted) continue;
      const auto& slots = state.layout->slots;
      for (std::size_t s = 0; s < slots.size(); ++s) {
        const bool changed = state.inserted || (s < state.changed.size() && state.changed[s]);
        if (!changed) continue;
        const Value value = canonical(state.value(s));
        if (!slots[s].isRelationship()) {
          targets[i]->setValue(slots[s].name, value);
        } else {
          const auto* id = value.getIf<ObjectID>();
          targets[i]->setObject(slots[s].name, id ? p.objectWithID(*id) : nullptr);
        }
      }
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
      if (objects[i]->state().deleted && targets[i]) p.deleteObject(*targets[i]);
    }
  });
}

}  // namespace chronelle
