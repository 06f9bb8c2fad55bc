// Relationships: to-one values are the related ObjectIDs; to-many sides are derived from
// the inverse foreign key in the store plus the context's unsaved changes.

#include <algorithm>
#include <set>
#include <stdexcept>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

std::shared_ptr<ManagedObject> ObjectContext::Impl::relatedObject(const ManagedObject& object, int slot) {
  const Value& value = object.state().value(static_cast<std::size_t>(slot));
  const auto* id = value.getIf<ObjectID>();
  return id ? objectWithID(*id) : nullptr;
}

std::vector<std::shared_ptr<ManagedObject>> ObjectContext::Impl::relatedObjects(const ManagedObject& object,
                                                                               int toManyIndex) {
  const auto& state = object.state();
  const ToManySlot& toMany = state.layout->toMany[static_cast<std::size_t>(toManyIndex)];
  const auto& destinationLayout = toMany.destination->layout();
  const TableLayout& table = *destinationLayout.table;
  const int inverseColumn = destinationLayout.slots[static_cast<std::size_t>(toMany.inverseSlot)].column;
  const Value self(state.id);

  std::vector<std::shared_ptr<ManagedObject>> result;
  std::set<const ManagedObject*> seen;
  // A child context first takes the parent's unsaved state of the destination objects.
  ParentPending fromParent;
  if (parent) fromParent = parentPending(FetchRequest(toMany.destination->name()), *toMany.destination);
  std::set<const ManagedObject*> imported;
  for (const auto& object : fromParent.objects) imported.insert(object.get());
  auto deletedInParent = [&](const ManagedObject& candidate) {
    return fromParent.hidden.count(candidate.state().id) > 0 && imported.count(&candidate) == 0;
  };
  auto belongs = [&](const ManagedObject& candidate) {
    auto& s = candidate.state();
    if (s.deleted || s.context != this->self || !candidate.entity().isKindOf(*toMany.destination)) return false;
    const int slot = s.layout->slot(toMany.relationship->inverseName);
    return slot >= 0 && canonical(s.value(static_cast<std::size_t>(slot))) == self;
  };

  if (!state.id.isTemporaryID()) {
    if (state.toManyCache.size() != state.layout->toMany.size()) {
      const_cast<ManagedObject::State&>(state).toManyCache.resize(state.layout->toMany.size());
    }
    auto& cache = const_cast<ManagedObject::State&>(state).toManyCache[static_cast<std::size_t>(toManyIndex)];
    const std::uint64_t generation = store->generation.load();
    if (cache.generation == generation) {
      for (const auto& id : cache.ids) {
        auto candidate = objectWithID(id);
        if (candidate && !deletedInParent(*candidate) && belongs(*candidate) && seen.insert(candidate.get()).second) {
          result.push_back(candidate);
        }
      }
    } else {
      std::vector<ObjectID> ids;
      auto statement = db().cached(selectRows(table) + " WHERE t0.\"" + table.columns[inverseColumn].name +
                                   "\" = ? AND " + store->entityFilter(*toMany.destination, true, "t0.Z_ENT") +
                                   " ORDER BY t0.Z_PK");
      statement->bindInt64(1, state.id.primaryKey());
      ++fetchCount;
      while (statement->step()) {
        auto candidate = objectForRow(*statement, table);
        ids.push_back(candidate->objectID());
        if (!deletedInParent(*candidate) && belongs(*candidate) && seen.insert(candidate.get()).second) {
          result.push_back(candidate);
        }
      }
      cache.ids = std::move(ids);
      cache.generation = generation;
    }
  }
  // Unsaved members: inserted objects and saved ones moved here by an unsaved change.
  std::vector<std::shared_ptr<ManagedObject>> pending;
  for (const auto& [seq, candidate] : changes) {
    if (!seen.count(candidate.get()) && belongs(*candidate)) pending.push_back(candidate);
  }
  for (const auto& candidate : fromParent.objects) {
    if (!seen.count(candidate.get()) && belongs(*candidate) && seen.insert(candidate.get()).second) {
      pending.push_back(candidate);
    }
  }
  if (!pending.empty()) {
    result.insert(result.end(), pending.begin(), pending.end());
    // Saved ones by primary key, then unsaved ones in insertion order (their changeSeq).
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
      const auto& ia = a->state().id;
      const auto& ib = b->state().id;
      if (ia.isTemporaryID() != ib.isTemporaryID()) return !ia.isTemporaryID();
      if (!ia.isTemporaryID()) return ia.primaryKey() < ib.primaryKey();
      return a->state().changeSeq < b->state().changeSeq;
    });
  }
  return result;
}

void ObjectContext::Impl::assignSlot(ManagedObject& object, int slot, Value value) {
  auto& state = object.state();
  const auto index = static_cast<std::size_t>(slot);
  Value old = canonical(state.value(index));
  state.valuesToChange()[index] = std::move(value);
  state.markChanged(index);
  noteChange(object, ChangeKind::update);
  registerUndoOfSlot(object, index, old);
  notifyObservers(object, state.layout->slots[index].name, old, state.values()[index]);
}

namespace {

// Marks the owner of a to-many side as changed when one of its members came or went.
void touchToMany(ObjectContext::Impl& context, ManagedObject& owner, const std::string& key) {
  owner.state().toManyChanged = true;
  context.noteChange(owner, ObjectContext::Impl::ChangeKind::update);
  notifyObservers(owner, key, Value(), Value());
}

}  // namespace

void ObjectContext::Impl::setToOne(ManagedObject& object, int slot, const std::shared_ptr<ManagedObject>& target) {
  auto& state = object.state();
  const PropertySlot& property = state.layout->slots[static_cast<std::size_t>(slot)];
  if (target) {
    if (target->state().context != self) {
      throw std::invalid_argument("setObject(" + property.name + "): the object belongs to another context");
    }
    if (!target->entity().isKindOf(*property.destination)) {
      throw std::invalid_argument("setObject(" + property.name + "): " + target->entity().name() + " is not a " +
                                  property.destination->name());
    }
  }
  auto previous = relatedObject(object, slot);
  const RelationshipDescription& inverse = *property.destination->relationship(property.relationship->inverseName);
  assignSlot(object, slot, target ? Value(target->objectID()) : Value());
  if (previous.get() == target.get()) return;

  const Value self(state.id);
  if (inverse.toMany) {
    if (previous) touchToMany(*this, *previous, inverse.name);
    if (target) touchToMany(*this, *target, inverse.name);
    return;
  }
  // One-to-one: the previous partner lets go of this object, the new partner lets go of
  // its previous partner and points here.
  if (previous) {
    const int back = previous->entity().layout().slot(inverse.name);
    if (canonical(previous->state().value(static_cast<std::size_t>(back))) == self) {
      assignSlot(*previous, back, Value());
    }
  }
  if (target) {
    const int back = target->entity().layout().slot(inverse.name);
    if (auto other = relatedObject(*target, back); other && other.get() != &object) {
      assignSlot(*other, other->entity().layout().slot(property.name), Value());
    }
    assignSlot(*target, back, self);
  }
}

}  // namespace chronelle
