#pragma once
// Store-internal state of an ObjectContext: identity map, change tracking, relationship
// resolution, and the fetch and save machinery (split over ObjectContext.cpp,
// ContextObjects.cpp, ContextRelationships.cpp, ChildContext.cpp, FetchExecutor.cpp,
// DictionaryFetch.cpp, SaveExecutor.cpp and SaveSupport.cpp).

#include <atomic>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/CoordinatorImpl.h"
#include "chronelle/store/IdentityMap.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/ObjectState.h"

namespace chronelle {

class SerialQueue;
struct SavePlan;

struct ObjectContext::Impl {
  ObjectContext* self = nullptr;
  ConcurrencyType type = ConcurrencyType::mainQueue;
  std::shared_ptr<PersistentStoreCoordinator> coordinator;
  PersistentStoreCoordinator::Impl* store = nullptr;
  std::shared_ptr<ObjectContext> parent;
  std::shared_ptr<const ObjectModel> model;

  /// The context's own connection, taken from the coordinator's pool on first use.
  ConnectionLease connection;
  Connection& db();

  /// Identity map: saved objects by table and primary key, unsaved ones by temporary ID.
  std::vector<IdentityMap> byPk;
  std::unordered_map<std::string, std::shared_ptr<ManagedObject>> byTemp;
  /// Temporary IDs handed out earlier → the permanent ID the object has now.
  std::unordered_map<std::string, ObjectID> aliases;

  /// Objects with unsaved changes, in the order they first changed.
  std::map<std::uint64_t, std::shared_ptr<ManagedObject>> changes;
  std::uint64_t nextSeq = 1;
  bool processScheduled = false;

  MergePolicy mergePolicy = MergePolicy::error;
  /// Read by saving contexts on other queues when they pick the contexts to merge into.
  std::atomic<bool> automaticallyMerges{false};
  std::shared_ptr<UndoManager> undoManager;
  std::atomic<std::size_t> fetchCount{0};

  /// The saved ID of `entity` with primary key `pk`, from one made earlier for the entity
  /// (the shared texts are looked up once per entity).
  ObjectID savedID(const EntityDescription& entity, std::int64_t pk) const {
    const auto index = static_cast<std::size_t>(entity.layout().index);
    if (index >= idOfEntity_.size()) idOfEntity_.resize(model->entities().size());
    ObjectID& made = idOfEntity_[index];
    if (!made.isValid()) return made = store->objectID(entity, pk);
    return made.withPrimaryKey(pk);
  }
  mutable std::vector<ObjectID> idOfEntity_;

  /// The last entity found by entityNamed, by the address of the shared name text.
  mutable const std::string* lastEntityName_ = nullptr;
  mutable const EntityDescription* lastEntity_ = nullptr;

  /// Queue: the thread inside performAndWait of a private-queue context.
  std::mutex queueMutex;
  std::atomic<std::thread::id> queueOwner{};
  std::unique_ptr<SerialQueue> worker;

  /// \name Identity (ContextObjects.cpp)
  ///@{
  ObjectID canonical(const ObjectID& id) const;
  Value canonical(const Value& value) const;
  std::shared_ptr<ManagedObject> registered(const ObjectID& id) const;
  /// The model's entity of an ID's entity name (ObjectID::entityName); null when none.
  const EntityDescription* entityNamed(const std::string& name) const;
  void registerObject(const std::shared_ptr<ManagedObject>& object);
  void unregister(ManagedObject& object);
  /// Which columns an object fetch of some properties reads (the others are NULL in its
  /// rows, and read per object later).
  using Unfetched = ManagedObject::State::Unfetched;
  /// Registered object for the row the statement is on (columns: Z_PK, Z_ENT, Z_OPT, then
  /// every column of the table, or those `unfetched` reads); a registered object without
  /// unsaved changes is brought up to date with a newer row (read whole by its key when the
  /// row has some columns only). A new object made from a row of some columns reads the
  /// others when first used.
  std::shared_ptr<ManagedObject> objectForRow(const Statement& row, const TableLayout& table,
                                              const std::shared_ptr<const Unfetched>& unfetched = nullptr);
  /// Registered, or loaded from the store; null when there is no such object.
  std::shared_ptr<ManagedObject> objectWithID(const ObjectID& id);
  /// "SELECT t0.Z_PK, t0.Z_ENT, t0.Z_OPT, t0.<every column> FROM <table> t0".
  static const std::string& selectRows(const TableLayout& table) { return table.selectRowsSql; }
  /// The statement of the whole row of `table` with key `pk` (columns as selectRows), bound
  /// and counted as a fetch, not yet stepped.
  CachedStatement rowByKey(const TableLayout& table, std::int64_t pk);
  /// The slot values of the row the statement is on (columns as selectRows).
  std::vector<Value> decodeRow(const EntityDescription::Layout& layout, const Statement& row) const;
  /// The value of one slot in the row the statement is on, whose columns are at `positions`
  /// (by column of the table).
  Value decodeSlot(const PropertySlot& slot, const Statement& row, const std::vector<int>& positions) const;
  /// As decodeRow, into `values` (replacing what it held, keeping its room); the slots that
  /// `unfetched` does not read are absent.
  void decodeRowInto(const EntityDescription::Layout& layout, const Statement& row, std::vector<Value>& values,
                     const Unfetched* unfetched = nullptr) const;
  /// Replaces the values and snapshot by a row's, telling observers of changed keys. Only a
  /// new object takes a row of some columns (`unfetched`).
  void applyRow(ManagedObject& object, const Statement& row, bool keepChangedValues,
                const std::shared_ptr<const Unfetched>& unfetched = nullptr);
  ///@}

  /// \name Objects fetched with some properties (UnfetchedValues.cpp)
  ///@{

  /// What an object fetch reads now: null for whole rows; else a batch for the objects it
  /// makes, carrying the columns of the properties it names (none when it names none, as a
  /// context that holds many objects of the table fetches) and `sortColumn` (-1: none), the
  /// others read when first used (by the fetch itself when it names none). Throws StoreError(kInvalidPredicate) for a name that is no
  /// attribute or to-one relationship of the entity (or of a subentity it includes), or an
  /// expression.
  std::shared_ptr<const Unfetched> partialRead(const FetchRequest& request, const EntityDescription& entity,
                                               int sortColumn) const;
  /// "SELECT t0.Z_PK, t0.Z_ENT, t0.Z_OPT, t0.<column>…" (no FROM): every column, or those
  /// `unfetched` reads, at its positions.
  static std::string selectColumns(const TableLayout& table, const Unfetched* unfetched);
  /// Numbers the positions of the columns `unfetched` reads (those marked with one ≥ 0), as
  /// selectColumns selects them.
  static void placeColumns(Unfetched& unfetched);
  /// Reads the values not fetched of every registered object made by that fetch (its keys),
  /// in a few statements. Throws what SQLite throws.
  void readUnfetched(const Unfetched& unfetched);
  /// Before the context lets go of its objects: the values not fetched of those that someone
  /// still holds (errors are logged; those values stay absent).
  void readUnfetchedOfHeldObjects();
  std::shared_ptr<ManagedObject> insert(const EntityDescription& entity);
  ///@}

  /// \name Changes
  ///@{
  enum class ChangeKind { insert, update, remove };
  /// Records that the object changed (and, for main-queue contexts, schedules processing).
  void noteChange(ManagedObject& object, ChangeKind kind);
  void dropFromChanges(ManagedObject& object);
  void deleteObject(ManagedObject& object);
  void processPendingChanges();
  void applyDeleteRules(ManagedObject& object);
  void rollback();
  void refresh(ManagedObject& object, bool mergeChanges);
  void reset();
  void detachAll();
  ///@}

  /// \name Undo (ContextUndo.cpp)
  ///@{

  /// Each registers the inverse of a change just made with the undo manager, when there is
  /// one and registration is on.
  void registerUndoOfSlot(ManagedObject& object, std::size_t slot, Value old);
  void registerUndoOfInsert(ManagedObject& object);
  void registerUndoOfDelete(ManagedObject& object);
  /// The inverses: sets a slot back (keeping to-many sides in step), and takes back a
  /// deletion (also one that was saved: the object is inserted again under its ID).
  void restoreSlot(ManagedObject& object, std::size_t slot, const Value& value);
  void undelete(ManagedObject& object);
  void clearUndo();
  ///@}

  /// \name Merging saves of other contexts (ContextMerge.cpp)
  ///@{

  /// Hands a root context's saved changes to the other contexts of the coordinator that
  /// merge automatically (and to this context's children that do), each on its own queue.
  void dispatchMerge(const ObjectIDSet& inserted, const ObjectIDSet& updated, const ObjectIDSet& deleted);
  /// On this context's queue: refreshes registered objects (its own unsaved changes stay as
  /// the merge policy says), turns deleted ones into faults, posts "did merge changes".
  void mergeChanges(const UserInfo& info);
  /// Brings one registered object up to date with its saved row under the merge policy.
  void mergeObject(ManagedObject& object);
  /// Forgets a registered object whose row is gone; it becomes a fault.
  void turnIntoFault(ManagedObject& object);
  ///@}

  /// \name Relationships (ContextRelationships.cpp)
  ///@{
  std::shared_ptr<ManagedObject> relatedObject(const ManagedObject& object, int slot);
  std::vector<std::shared_ptr<ManagedObject>> relatedObjects(const ManagedObject& object, int toManyIndex);
  /// Sets a to-one slot and keeps the inverse side in step.
  void setToOne(ManagedObject& object, int slot, const std::shared_ptr<ManagedObject>& target);
  /// Sets one to-one slot without touching the inverse (the caller does that).
  void assignSlot(ManagedObject& object, int slot, Value value);
  ///@}

  /// \name Child contexts (ChildContext.cpp)
  ///@{

  /// A child context sees its parent's unsaved state as its store: objects the parent
  /// changed are read from the parent, and saving pushes the changes into the parent.
  ///
  /// This context's object for the parent's object, with the parent's current values as
  /// snapshot (kept as they are when this context changed it); null when deleted there.
  std::shared_ptr<ManagedObject> importFromParent(const ManagedObject& inParent, const Impl& parentImpl);
  /// The parent's registered object for `id` with unsaved changes, imported (null inside
  /// when the parent deleted it); absent when the parent has no changes for it.
  std::optional<std::shared_ptr<ManagedObject>> changedInParent(const ObjectID& id);
  struct ParentPending {
    std::vector<std::shared_ptr<ManagedObject>> objects;  ///< imported, not deleted
    std::set<ObjectID> hidden;                            ///< saved rows the parent changed
  };
  ParentPending parentPending(const FetchRequest& request, const EntityDescription& entity);
  void pushToParent();
  /// Registers a new inserted object under an ID chosen elsewhere (by a child context).
  std::shared_ptr<ManagedObject> insertWithID(const EntityDescription& entity, const ObjectID& id);
  ///@}

  /// \name Fetching (FetchExecutor.cpp)
  ///@{
  ObjectSet fetchObjects(const FetchRequest& request);
  std::vector<ObjectID> fetchIDs(const FetchRequest& request);
  std::size_t count(const FetchRequest& request);
  void enumerateDictionaries(const FetchRequest& request, const std::function<void(const ResultDictionary&)>& row);
  void enumerateRows(const FetchRequest& request, const std::function<void(const FetchedRow&)>& row);
  const EntityDescription& fetchedEntity(const FetchRequest& request) const;
  ///@}

  /// \name Saving (SaveExecutor.cpp)
  ///@{
  void save(const SaveOptions& options);
  /// The in-memory half of a save: permanent IDs, merged values, snapshots, then (at once,
  /// or when the open transaction commits) the merge into other contexts and "did save".
  void finishSave(SavePlan& plan, const SaveOptions& options);
  void obtainPermanentIDs(const ObjectSet& objects);
  /// After permanent IDs were given: re-keys the identity map and rewrites references.
  void adoptPermanentIDs(const std::vector<std::pair<ManagedObject*, ObjectID>>& assigned);
  ///@}

  /// \name One transaction over several saves (SaveTransaction.cpp)
  ///@{
  struct OpenTransaction;
  struct EndTransaction {
    void operator()(OpenTransaction* open) const;
  };
  /// Set while performInTransaction runs on a context of the store.
  std::unique_ptr<OpenTransaction, EndTransaction> openTransaction;
  void performInTransaction(const std::function<void()>& block);
  /// Runs `write` inside the store's write transaction: in a savepoint of the open one, so a
  /// failing write takes back only its own rows, or else in a transaction of its own, with
  /// the store marked in use by a writer first. Throws what `write` or SQLite throws.
  void writeInTransaction(const std::function<void()>& write);
  /// Before an in-memory commit inside the open transaction: keeps what the commit changes
  /// of `objects` (and of every object with unsaved changes), to put back if the
  /// transaction fails. A no-op outside one.
  void journalBeforeCommit(const std::vector<ManagedObject*>& objects);
  /// Hands the merge and the "did save" post of a save to the open transaction, or runs
  /// `announce` at once outside one.
  void announceAfterCommit(std::function<void()> announce);
  ///@}
};

/// Tells the observers of `key` (and of the keys depending on it) about a change.
void notifyObservers(ManagedObject& object, std::string_view key, const Value& oldValue, const Value& newValue);

/// Evaluates predicates on an object through its context.
class ObjectSubject final : public PredicateSubject {
 public:
  ObjectSubject(ObjectContext::Impl& context, const ManagedObject& object) : context_(context), object_(object) {}
  Value valueForKeyPath(std::span<const std::string> path) const override;

 private:
  ObjectContext::Impl& context_;
  const ManagedObject& object_;
};

}  // namespace chronelle
