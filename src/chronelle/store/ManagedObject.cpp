#include "chronelle/store/ManagedObject.h"

#include <new>
#include <set>
#include <stdexcept>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/ObjectState.h"

namespace chronelle {

Value::Value(const std::shared_ptr<ManagedObject>& object) {
  if (object) v_ = object->objectID();
}

bool isSameObject(const ManagedObject* a, const ManagedObject* b) {
  return a != nullptr && b != nullptr && a->objectID() == b->objectID();
}

namespace {

[[noreturn]] void unknownKey(const ManagedObject& object, std::string_view key) {
  throw std::invalid_argument("entity " + object.entity().name() + " has no property " + std::string(key));
}

// Converts a value to the attribute's type where that loses nothing (an integer for a
// double, 0/1 for a boolean), so what is read back after a save equals what was set.
void coerce(const AttributeDescription& attribute, Value& value) {
  switch (attribute.type) {
    case AttributeType::doubleType:
      if (const auto* i = value.getIf<std::int64_t>()) value = Value(static_cast<double>(*i));
      break;
    case AttributeType::boolean:
      if (const auto* i = value.getIf<std::int64_t>(); i && (*i == 0 || *i == 1)) value = Value(*i == 1);
      break;
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
      if (const auto* b = value.getIf<bool>()) value = Value(static_cast<std::int64_t>(*b ? 1 : 0));
      break;
    default: break;
  }
}

void collectDependents(const ManagedObject& object, const std::string& key, std::set<std::string>& out) {
  for (auto& dependent : object.keysAffectedBy(key)) {
    if (out.insert(dependent).second) collectDependents(object, dependent, out);
  }
}

void callObservers(ManagedObject& object, const ObservedChange& change) {
  auto& observers = object.state().observers;
  auto it = observers.find(change.key);
  if (it == observers.end()) return;
  // Copied: a callback may add or remove observers.
  const auto callbacks = it->second;
  for (const auto& observer : callbacks) observer.callback(change);
}

}  // namespace

void notifyObservers(ManagedObject& object, std::string_view key, const Value& oldValue, const Value& newValue) {
  if (object.state().observers.empty()) return;
  auto keepAlive = object.weak_from_this().lock();  // a callback may drop the last owner
  callObservers(object, ObservedChange{std::string(key), oldValue, newValue});
  std::set<std::string> dependents;
  collectDependents(object, std::string(key), dependents);
  dependents.erase(std::string(key));
  for (const auto& dependent : dependents) callObservers(object, ObservedChange{dependent, Value(), Value()});
}

// --- ManagedObject ---------------------------------------------------------------------

ManagedObject::ManagedObject() : state_(new (stateRoom_) State()) {
  static_assert(sizeof(State) <= kStateRoom, "ManagedObject::kStateRoom must be raised to hold the state");
  static_assert(alignof(State) <= alignof(std::max_align_t));
}
ManagedObject::~ManagedObject() { state_->~State(); }

const EntityDescription& ManagedObject::entity() const {
  if (state_->entity == nullptr) throw std::logic_error("a ManagedObject made outside a context has no entity");
  return *state_->entity;
}

ObjectID ManagedObject::objectID() const { return state_->id; }
ObjectContext* ManagedObject::managedObjectContext() const { return state_->context; }

Value ManagedObject::value(std::string_view key) const {
  const int slot = entity().layout().slot(key);
  if (slot < 0) unknownKey(*this, key);
  if (state_->fault) return Value();
  const Value& value = state_->value(static_cast<std::size_t>(slot));
  return state_->context ? state_->context->impl().canonical(value) : value;
}

int ManagedObject::slotOf(std::string_view key) const { return entity().layout().slot(key); }

int ManagedObject::slotOf(const PropertyKey& key) const {
  const auto& layout = entity().layout();
  const std::uint64_t resolved = key.resolved_.load(std::memory_order_relaxed);
  if (resolved >> 16 == layout.serial) return static_cast<int>(resolved & 0xFFFF);
  const int slot = layout.slot(key.name_);
  if (slot >= 0 && slot <= 0xFFFF) {
    key.resolved_.store(layout.serial << 16 | static_cast<std::uint64_t>(slot), std::memory_order_relaxed);
  }
  return slot;
}

int ManagedObject::slotOfKind(int slot, std::string_view key, bool relationship) const {
  if (slot < 0 || state_->layout->slots[static_cast<std::size_t>(slot)].isRelationship() != relationship) {
    unknownKey(*this, key);
  }
  return slot;
}

const Value& ManagedObject::attributeAt(int slot, std::string_view key) const {
  static const Value absent;
  slotOfKind(slot, key, false);
  // An attribute never holds an object's ID, so it has no other canonical form.
  return state_->fault ? absent : state_->value(static_cast<std::size_t>(slot));
}

const Value& ManagedObject::attributeValue(std::string_view key) const { return attributeAt(slotOf(key), key); }
const Value& ManagedObject::attributeValue(const PropertyKey& key) const { return attributeAt(slotOf(key), key); }

void ManagedObject::setValue(std::string_view key, Value value) {
  const auto& layout = entity().layout();
  const int slot = layout.slot(key);
  if (slot < 0) unknownKey(*this, key);
  const auto& property = layout.slots[static_cast<std::size_t>(slot)];
  if (property.isRelationship()) {
    if (value.isNull()) return setObject(key, nullptr);
    const auto* id = value.getIf<ObjectID>();
    auto target = id && state_->context ? state_->context->impl().objectWithID(*id) : nullptr;
    if (!target) throw std::invalid_argument("setValue(" + std::string(key) + "): not an object of this context");
    return setObject(key, target);
  }
  auto& state = *state_;
  coerce(*property.attribute, value);
  auto& values = state.valuesToChange();
  Value old = std::move(values[static_cast<std::size_t>(slot)]);
  values[static_cast<std::size_t>(slot)] = value;
  if (state.context != nullptr) {
    state.markChanged(static_cast<std::size_t>(slot));
    // The one place every attribute edit passes: change tracking and undo.
    state.context->impl().noteChange(*this, ObjectContext::Impl::ChangeKind::update);
    state.context->impl().registerUndoOfSlot(*this, static_cast<std::size_t>(slot), old);
  }
  notifyObservers(*this, key, old, value);
}

std::shared_ptr<ManagedObject> ManagedObject::objectAt(int slot, std::string_view key) const {
  slotOfKind(slot, key, true);
  if (state_->context == nullptr || state_->fault) return nullptr;
  return state_->context->impl().relatedObject(*this, slot);
}

std::shared_ptr<ManagedObject> ManagedObject::object(std::string_view key) const { return objectAt(slotOf(key), key); }
std::shared_ptr<ManagedObject> ManagedObject::object(const PropertyKey& key) const {
  return objectAt(slotOf(key), key);
}

void ManagedObject::setObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
  const int slot = slotOfKind(slotOf(key), key, true);
  if (state_->context == nullptr) throw std::logic_error("setObject on an object that is in no context");
  state_->context->impl().setToOne(*this, slot, object);
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObject::objects(std::string_view key) const {
  const int index = entity().layout().toManyIndex(key);
  if (index < 0) unknownKey(*this, key);
  if (state_->context == nullptr || state_->fault) return {};
  return state_->context->impl().relatedObjects(*this, index);
}

void ManagedObject::addObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
  const int index = entity().layout().toManyIndex(key);
  if (index < 0) unknownKey(*this, key);
  if (!object) return;
  const auto& toMany = entity().layout().toMany[static_cast<std::size_t>(index)];
  object->setObject(toMany.relationship->inverseName, shared_from_this());
}

void ManagedObject::removeObject(std::string_view key, const std::shared_ptr<ManagedObject>& object) {
  const int index = entity().layout().toManyIndex(key);
  if (index < 0) unknownKey(*this, key);
  if (!object) return;
  const auto& toMany = entity().layout().toMany[static_cast<std::size_t>(index)];
  if (object->value(toMany.relationship->inverseName) == Value(objectID())) {
    object->setObject(toMany.relationship->inverseName, nullptr);
  }
}

bool ManagedObject::isInserted() const { return state_->inserted && !state_->deleted; }
bool ManagedObject::isUpdated() const { return state_->isUpdated(); }
bool ManagedObject::isDeleted() const { return state_->deleted; }
bool ManagedObject::hasChanges() const { return state_->hasChanges(); }
bool ManagedObject::isFault() const { return state_->fault; }
int ManagedObject::faultingState() const { return state_->fault ? 1 : 0; }

std::map<std::string, Value> ManagedObject::changedValues() const {
  std::map<std::string, Value> result;
  auto& state = *state_;
  if (state.changed.empty()) return result;
  const auto& values = state.values();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!state.changed[i]) continue;
    result[state.layout->slots[i].name] = state.context ? state.context->impl().canonical(values[i]) : values[i];
  }
  return result;
}

std::map<std::string, Value> ManagedObject::committedValues(const std::vector<std::string>& keys) const {
  std::map<std::string, Value> result;
  auto& state = *state_;
  const auto& saved = state.saved();
  auto committed = [&](std::size_t slot) { return slot < saved.size() ? saved[slot] : Value(); };
  if (keys.empty()) {
    for (std::size_t i = 0; i < state.layout->slots.size(); ++i) result[state.layout->slots[i].name] = committed(i);
    return result;
  }
  for (const auto& key : keys) {
    const int slot = state.layout->slot(key);
    if (slot < 0) unknownKey(*this, key);
    result[key] = committed(static_cast<std::size_t>(slot));
  }
  return result;
}

ObservationToken ManagedObject::observe(std::string key, std::function<void(const ObservedChange&)> callback) {
  // An observer is told the old value of each change: values a fetch left to read later are
  // read now, before another context's save can replace them.
  if (state_->unfetched()) state_->values();
  const std::uint64_t id = state_->nextObserverId++;
  state_->observers[key].push_back(State::Observer{id, std::move(callback)});
  std::weak_ptr<ManagedObject> weak = weak_from_this();
  return ObservationToken([weak, key, id] {
    auto object = weak.lock();
    if (!object) return;
    auto& observers = object->state().observers;
    auto it = observers.find(key);
    if (it == observers.end()) return;
    std::erase_if(it->second, [id](const State::Observer& o) { return o.id == id; });
    if (it->second.empty()) observers.erase(it);
  });
}

void ManagedObject::willChangeValue(std::string_view) {
  // Observers are told after the change (didChangeValue) with both values absent, so
  // nothing needs to be remembered here; the pair mirrors the platform's protocol.
}

void ManagedObject::didChangeValue(std::string_view key) { notifyObservers(*this, key, Value(), Value()); }

void ManagedObject::validateValue(std::string_view, const Value&) const {}

std::vector<std::string> ManagedObject::keysAffectedBy(std::string_view) const { return {}; }

}  // namespace chronelle
