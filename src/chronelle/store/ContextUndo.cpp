// Undo registration: every attribute, relationship, insert and delete change of a context
// registers its inverse with the context's undo manager. Undoing runs the inverses through
// the same paths, so they register the redo step in turn.

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/UndoManager.h"

namespace chronelle {

namespace {

// The undo manager to register with, or null when there is none or registration is off.
UndoManager* registering(const ObjectContext::Impl& context) {
  UndoManager* manager = context.undoManager.get();
  return manager != nullptr && manager->isUndoRegistrationEnabled() ? manager : nullptr;
}

// Runs `fn` on the context's Impl when the context still exists. Actions hold the context
// weakly: a manager that outlives its context replays nothing.
template <class F>
std::function<void()> onContext(ObjectContext* self, F fn) {
  return [weak = self->weak_from_this(), fn = std::move(fn)] {
    if (auto context = weak.lock()) fn(context->impl());
  };
}

}  // namespace

void ObjectContext::Impl::registerUndoOfSlot(ManagedObject& object, std::size_t slot, Value old) {
  UndoManager* manager = registering(*this);
  if (manager == nullptr) return;
  manager->registerUndo(onContext(self, [object = object.shared_from_this(), slot, old = std::move(old)](Impl& c) {
    c.restoreSlot(*object, slot, old);
  }));
}

void ObjectContext::Impl::registerUndoOfInsert(ManagedObject& object) {
  UndoManager* manager = registering(*this);
  if (manager == nullptr) return;
  manager->registerUndo(onContext(self, [object = object.shared_from_this()](Impl& c) {
    if (object->state().context == c.self) c.deleteObject(*object);
  }));
}

void ObjectContext::Impl::registerUndoOfDelete(ManagedObject& object) {
  UndoManager* manager = registering(*this);
  if (manager == nullptr) return;
  manager->registerUndo(
      onContext(self, [object = object.shared_from_this()](Impl& c) { c.undelete(*object); }));
}

void ObjectContext::Impl::restoreSlot(ManagedObject& object, std::size_t slot, const Value& value) {
  auto& state = object.state();
  if (state.context != self || state.fault) return;  // the object left the context meanwhile
  const PropertySlot& property = state.layout->slots[slot];
  if (!property.isRelationship()) {
    object.setValue(property.name, value);
    return;
  }
  // One side of a relationship at a time: the other sides registered their own inverses.
  // To-many sides are derived from this slot, so their owners are only told.
  auto previous = relatedObject(object, static_cast<int>(slot));
  assignSlot(object, static_cast<int>(slot), canonical(value));
  const RelationshipDescription& inverse = *property.destination->relationship(property.relationship->inverseName);
  if (!inverse.toMany) return;
  auto target = relatedObject(object, static_cast<int>(slot));
  if (previous.get() == target.get()) return;
  for (const auto& owner : {previous, target}) {
    if (!owner || owner->state().context != self) continue;
    owner->state().toManyChanged = true;
    noteChange(*owner, ChangeKind::update);
    notifyObservers(*owner, inverse.name, Value(), Value());
  }
}

void ObjectContext::Impl::undelete(ManagedObject& object) {
  auto& state = object.state();
  if (state.context == self) {
    if (!state.deleted) return;
    // A deletion not saved yet: the object is still here. One already announced is
    // announced back as an insertion.
    const bool deletionAnnounced = !state.pendingDelete;
    const bool pendingUpdate = state.pendingUpdate;
    state.deleted = false;
    state.deletionProcessed = false;
    noteChange(object, ChangeKind::update);
    state.pendingUpdate = pendingUpdate;
    state.pendingDelete = false;
    if (deletionAnnounced) state.pendingInsert = true;
  } else if (state.context == nullptr && state.slotCount() == state.layout->slots.size()) {
    // Saved (a fault now) or an unsaved insertion dropped when its deletion was processed:
    // inserted again under the same ID with the values it had, so a save writes its row back.
    state.fault = false;
    state.deleted = false;
    state.deletionProcessed = false;
    state.inserted = true;
    state.version = 0;
    state.clearChanges();
    state.toManyCache.clear();
    registerObject(object.shared_from_this());
    noteChange(object, ChangeKind::insert);
  } else {
    return;  // registered in another context
  }
  registerUndoOfInsert(object);
}

void ObjectContext::Impl::clearUndo() {
  if (undoManager) undoManager->removeAllActions();
}

}  // namespace chronelle
