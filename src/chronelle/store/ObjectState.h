#pragma once
// Store-internal state of a ManagedObject, owned by the object and managed by its context.

#include <cstddef>
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

  /// Current values, one per slot of the layout. A to-one relationship holds the related
  /// object's ObjectID. An object fetched with some properties only has the others read, for
  /// every object of its fetch at once, the first time any of them is asked for: values()
  /// and value() do that first. Write them only through valuesToChange() (or replace them
  /// with setValues, or the saved state with setSaved/setSavedToValues), so the saved state
  /// stays what was stored.
  ///@{
  std::vector<Value>& values() {
    if (unfetched_) loadUnfetched(*this);
    return values_;
  }
  const Value& value(std::size_t slot) {
    if (unfetched_ && !unfetched_->fetched(*layout, slot)) loadUnfetched(*this);
    return values_[slot];
  }
  std::size_t slotCount() const { return values_.size(); }
  /// All values at once (the object now holds every one of them).
  void setValues(std::vector<Value> values) {
    values_ = std::move(values);
    unfetched_.reset();
  }
  ///@}

  /// The properties of a fetch that read only some (shared by the objects it made): which
  /// columns of the table the rows carried, and the keys of the objects it made.
  struct Unfetched {
    const TableLayout* table = nullptr;
    /// The keys of the objects made with it, recorded as the fetch makes them (the only
    /// part that changes after the fetch has chosen its columns).
    mutable std::vector<std::int64_t> keys;
    /// By column of the table: its place in the rows (after Z_PK, Z_ENT, Z_OPT), -1 when
    /// the rows do not carry it.
    std::vector<int> positions;
    bool carries(int column) const { return positions[static_cast<std::size_t>(column)] >= 0; }
    /// By entity (EntityDescription::Layout::index), then slot: 1 where the rows carry it.
    std::vector<std::vector<std::uint8_t>> fetchedSlots;
    bool fetched(const EntityDescription::Layout& layout, std::size_t slot) const {
      return fetchedSlots[static_cast<std::size_t>(layout.index)][slot] != 0;
    }
  };
  /// Set while some values are not read yet (see values()); they are absent until then.
  const std::shared_ptr<const Unfetched>& unfetched() const { return unfetched_; }
  /// Made by a fetch of some properties only: the others are read on first use.
  void setUnfetched(std::shared_ptr<const Unfetched> unfetched) { unfetched_ = std::move(unfetched); }
  /// The values and blanks of the others as they are, without reading what is missing: only
  /// for the code that fills them in (and for objects being made).
  std::vector<Value>& rawValues() { return values_; }

  /// The snapshot last read from or written to the store (empty before the first save).
  /// Most fetched objects are only read, so a fetched or saved object's snapshot is its
  /// values themselves until the first change copies them: a listing makes no second copy
  /// of every row, and destroys none.
  ///@{
  const std::vector<Value>& saved() { return savedIsValues_ ? values() : savedCopy_; }
  bool hasSaved() const { return savedIsValues_ || !savedCopy_.empty(); }
  ///@}
  /// The values, for a change: the saved state takes its own copy first if it shared them.
  std::vector<Value>& valuesToChange() {
    auto& current = values();
    if (savedIsValues_) {
      savedCopy_ = current;
      savedIsValues_ = false;
    }
    return current;
  }
  /// The values are (now) what the store holds.
  void setSavedToValues() {
    std::vector<Value>().swap(savedCopy_);
    savedIsValues_ = true;
  }
  /// `snapshot` is what the store holds; the values stay as they are.
  void setSaved(std::vector<Value> snapshot) {
    savedCopy_ = std::move(snapshot);
    savedIsValues_ = false;
  }
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

  /// The saved state and whether it is the values themselves, as they are (to put back
  /// exactly as they were).
  ///@{
  const std::vector<Value>& savedCopy() const { return savedCopy_; }
  bool savedIsValues() const { return savedIsValues_; }
  void restoreSaved(std::vector<Value> copy, bool isValues) {
    savedCopy_ = std::move(copy);
    savedIsValues_ = isValues;
  }
  ///@}

  bool hasSlotChanges() const { return changedCount > 0; }
  bool isUpdated() const { return !inserted && !deleted && (changedCount > 0 || toManyChanged); }
  bool hasChanges() const { return inserted || deleted || changedCount > 0 || toManyChanged; }

  void markChanged(std::size_t slot) {
    if (changed.size() != values_.size()) changed.assign(values_.size(), 0);
    if (!changed[slot]) {
      changed[slot] = 1;
      ++changedCount;
    }
  }
  void clearChanges() {
    changed.assign(values_.size(), 0);
    changedCount = 0;
    toManyChanged = false;
  }

 private:
  /// Reads the values an object was fetched without, for every object of its context made by
  /// the same fetch (UnfetchedValues.cpp). Throws what the store throws.
  static void loadUnfetched(State& state);

  std::vector<Value> values_;
  std::shared_ptr<const Unfetched> unfetched_;  ///< null: every value is here
  std::vector<Value> savedCopy_;  ///< the snapshot when it differs from (or is not) the values
  bool savedIsValues_ = false;    ///< the snapshot is `values`
};

}  // namespace chronelle
