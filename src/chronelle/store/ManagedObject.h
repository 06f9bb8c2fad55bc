#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chronelle/store/ObjectID.h"
#include "chronelle/store/Value.h"

namespace chronelle {

class EntityDescription;
class ObjectContext;

/// A change of an observed key. For stored attributes and to-one relationships the old and
/// new values are given (objects as their ObjectIDs); for derived keys announced with
/// willChangeValue/didChangeValue both are absent.
struct ObservedChange {
  /// The key that changed.
  std::string key;
  /// The value before the change; absent for derived keys.
  Value oldValue;
  /// The value after the change; absent for derived keys.
  Value newValue;
};

/// Keeps an observation alive; destroying it unregisters. Main-thread (context queue) only.
class ObservationToken {
 public:
  ObservationToken() = default;
  /// Takes over the other token's observation; the other token is left empty.
  ObservationToken(ObservationToken&& other) noexcept
      : cancel_(std::exchange(other.cancel_, nullptr)) {}
  /// Ends the observation this token held, then takes over the other token's, so that
  /// `token = object->observe(...)` replaces an observation instead of leaking it.
  ObservationToken& operator=(ObservationToken&& other) noexcept {
    if (this != &other) {
      reset();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  ~ObservationToken() { reset(); }
  /// Ends the observation now; nothing when already ended.
  void reset() {
    if (cancel_) cancel_();
    cancel_ = nullptr;
  }
  /// A token that runs `cancel` once when reset or destroyed.
  explicit ObservationToken(std::function<void()> cancel) : cancel_(std::move(cancel)) {}

 private:
  std::function<void()> cancel_;
};

/// The name of a stored property as an entity class's getters use it: it remembers the slot
/// the property had in the entity it was last read from, so reading a list of objects of
/// one entity finds the slot by name once rather than at every read. Thread-safe; meant
/// for constants of the entity classes.
class PropertyKey {
 public:
  explicit constexpr PropertyKey(const char* name) : name_(name) {}
  PropertyKey(const PropertyKey&) = delete;
  PropertyKey& operator=(const PropertyKey&) = delete;
  std::string_view name() const { return name_; }
  operator std::string_view() const { return name_; }

 private:
  friend class ManagedObject;
  const char* name_;
  /// The serial of the entity layout last read (above the low 16 bits) and the slot in it
  /// (the low 16 bits); 0 before the first read. Layout serials are never reused, so a
  /// layout of another model made where an old one was is not mistaken for it.
  mutable std::atomic<std::uint64_t> resolved_{0};
};

/// An object of the store, living in one context. Holds its current values, the snapshot
/// last committed to (or fetched from) the store, and so its change set. Entity classes
/// of the application derive from it and add typed accessors over value()/setValue().
///
/// Objects are shared (shared_ptr) because the context's identity map, relationships and
/// the application all hold them. Not thread-safe: use an object only on its context's
/// queue.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
 public:
  ManagedObject();
  virtual ~ManagedObject();
  ManagedObject(const ManagedObject&) = delete;
  ManagedObject& operator=(const ManagedObject&) = delete;

  /// The object's entity.
  const EntityDescription& entity() const;
  /// The object's ID: temporary until its first save, permanent afterwards.
  ObjectID objectID() const;
  /// The context the object is registered in; null once a deleted object was saved (or
  /// before insertion).
  ObjectContext* managedObjectContext() const;

  /// Attribute value by name (absent when nil). Reading a fault (a deleted, saved object)
  /// gives absent. Unknown keys throw std::invalid_argument.
  Value value(std::string_view key) const;
  /// The same for an attribute (not a relationship), without a copy: typed getters read
  /// many objects' values and copy at most what they return. Valid until the object's
  /// values next change. Unknown keys and relationships throw std::invalid_argument.
  const Value& attributeValue(std::string_view key) const;
  const Value& attributeValue(const PropertyKey& key) const;
  /// Sets an attribute; records the change, registers the inverse with the undo manager
  /// and tells observers. Setting an equal value still counts as a change (as the
  /// platform does). Unknown keys throw std::invalid_argument.
  void setValue(std::string_view key, Value value);

  /// To-one relationship: the related object or null.
  std::shared_ptr<ManagedObject> object(std::string_view key) const;
  std::shared_ptr<ManagedObject> object(const PropertyKey& key) const;
  /// Sets a to-one relationship and keeps the inverse side in step.
  void setObject(std::string_view key, const std::shared_ptr<ManagedObject>& object);
  /// To-many relationship: the related objects (saved ones by primary key, then pending
  /// inserts in insertion order).
  std::vector<std::shared_ptr<ManagedObject>> objects(std::string_view key) const;
  /// Adds `object` to the to-many relationship `key` (setting the inverse); throws
  /// std::invalid_argument for an unknown key.
  void addObject(std::string_view key, const std::shared_ptr<ManagedObject>& object);
  /// Removes `object` from the to-many relationship `key` (clearing the inverse); throws
  /// std::invalid_argument for an unknown key.
  void removeObject(std::string_view key, const std::shared_ptr<ManagedObject>& object);

  /// Inserted and not saved yet.
  bool isInserted() const;
  /// Changed since the last save.
  bool isUpdated() const;
  /// Deleted and not saved yet.
  bool isDeleted() const;
  /// Inserted, updated or deleted since the last save.
  bool hasChanges() const;
  /// True for an object whose data is not loaded: after its deletion was saved or merged.
  bool isFault() const;
  /// 0 for a realised object, non-zero for a fault.
  int faultingState() const;

  /// Attributes and to-one relationships (as ObjectIDs) changed since the last commit.
  std::map<std::string, Value> changedValues() const;
  /// The committed values of `keys` (every attribute and to-one when empty).
  std::map<std::string, Value> committedValues(const std::vector<std::string>& keys = {}) const;

  /// Observes `key` (stored or derived). Also told when a key it depends on changes
  /// (see keysAffectedBy).
  [[nodiscard]] ObservationToken observe(std::string key,
                                         std::function<void(const ObservedChange&)> callback);
  /// Announce a change of a derived key, as the platform's willChange/didChange pair.
  ///@{
  void willChangeValue(std::string_view key);
  void didChangeValue(std::string_view key);
  ///@}

  /// \name Overridable lifecycle hooks
  ///@{

  /// Once, when the object is inserted into a context.
  virtual void awakeFromInsert() {}
  /// When the object is first materialised from a fetched row.
  virtual void awakeFromFetch() {}
  /// Extra validation of one key before a save; throw StoreError to refuse. Mandatory and
  /// type checks are done by the store before this is called.
  virtual void validateValue(std::string_view key, const Value& value) const;
  /// Keys whose observers must also be told when `key` changes (e.g. "effectiveDuration"
  /// for "begin").
  virtual std::vector<std::string> keysAffectedBy(std::string_view key) const;
  /// Just before the object's deletion is processed (delete rules run after).
  virtual void prepareForDeletion() {}
  /// After the object turned into a fault.
  virtual void didTurnIntoFault() {}

  /// Internal state, owned and managed by the context (opaque outside the store).
  struct State;
  State& state() const { return *state_; }
  ///@}

 private:
  /// The slot of `key` in the object's entity, -1 when it has none.
  ///@{
  int slotOf(std::string_view key) const;
  int slotOf(const PropertyKey& key) const;
  ///@}
  /// `slot` when it is one of an attribute (or, with `relationship`, of a to-one); throws
  /// std::invalid_argument naming `key` otherwise (also for -1).
  int slotOfKind(int slot, std::string_view key, bool relationship) const;
  const Value& attributeAt(int slot, std::string_view key) const;
  std::shared_ptr<ManagedObject> objectAt(int slot, std::string_view key) const;

  /// The state is made inside the object rather than on its own: a listing makes thousands
  /// of objects, and this is one allocation fewer for each, next to the object it belongs
  /// to. The room fits the state of this standard library (ManagedObject.cpp checks it).
  static constexpr std::size_t kStateRoom = 288;
  alignas(std::max_align_t) unsigned char stateRoom_[kStateRoom];
  State* const state_;
};

/// True when both are present and their ObjectIDs are equal (identity, not values).
bool isSameObject(const ManagedObject* a, const ManagedObject* b);

}  // namespace chronelle
