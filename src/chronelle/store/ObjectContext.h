#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

class FetchedRow;
class PersistentStoreCoordinator;
class UndoManager;

enum class ConcurrencyType { mainQueue, privateQueue };

/// How a save resolves a row another context saved meanwhile, property by property: a
/// property changed on one side keeps that side's value; one changed on both sides takes
/// the in-memory value (objectTrump) or the stored value (storeTrump). `error` fails the
/// save with kOptimisticLockingFailure.
enum class MergePolicy { error, mergeByPropertyObjectTrump, mergeByPropertyStoreTrump };

using ObjectSet = std::vector<std::shared_ptr<ManagedObject>>;
using ObjectIDSet = std::set<ObjectID>;

/// A scratchpad of managed objects over a coordinator (or a parent context): an identity
/// map (one object per ObjectID), pending inserts, updates and deletes, save, rollback.
///
/// Saving to the store reaches every other context of the coordinator that merges
/// automatically (and the saver's children that do): each merges the saved changes on its
/// own queue — registered objects are refreshed, keeping their unsaved changes as its merge
/// policy says, deleted ones turn into faults — and posts "did merge changes (object IDs)"
/// with the inserted, updated and deleted ID sets.
///
/// With an undo manager, every attribute, relationship, insert and delete change registers
/// its inverse while registration is on (see UndoManager for the grouping). Saving is not an
/// undo step and keeps the steps; rollback() and reset() clear them.
///
/// Threading: a main-queue context is used on the main queue only; a private-queue context
/// only inside its performAndWait/perform. Contexts are shared (shared_ptr) because
/// objects, fetched-results controllers and notifications refer back to them.
class ObjectContext : public std::enable_shared_from_this<ObjectContext> {
 public:
  /// Notification names; the object of each notification is the context.
  ///@{
  static constexpr const char* kDidSaveNotification = "NSManagedObjectContextDidSaveNotification";
  static constexpr const char* kObjectsDidChangeNotification =
      "NSManagedObjectContextObjectsDidChangeNotification";
  static constexpr const char* kDidMergeChangesObjectIDsNotification =
      "NSManagedObjectContextDidMergeChangesObjectIDsNotification";
  ///@}
  /// User-info keys: object sets (ObjectSet) and ID sets (ObjectIDSet).
  ///@{
  static constexpr const char* kInsertedObjectsKey = "inserted";
  static constexpr const char* kUpdatedObjectsKey = "updated";
  static constexpr const char* kDeletedObjectsKey = "deleted";
  static constexpr const char* kInsertedObjectIDsKey = "inserted_objectIDs";
  static constexpr const char* kUpdatedObjectIDsKey = "updated_objectIDs";
  static constexpr const char* kDeletedObjectIDsKey = "deleted_objectIDs";
  ///@}

  /// A context on `coordinator`'s store; a main-queue context runs on MainQueue::shared(), a
  /// private-queue one on its own worker thread.
  static std::shared_ptr<ObjectContext> create(ConcurrencyType type,
                                               std::shared_ptr<PersistentStoreCoordinator> coordinator);
  /// A context whose saves go to `parent` instead of the store.
  static std::shared_ptr<ObjectContext> createChild(ConcurrencyType type,
                                                    std::shared_ptr<ObjectContext> parent);
  ~ObjectContext();

  /// Main-queue or private-queue, as created.
  ConcurrencyType concurrencyType() const;
  /// The coordinator of the store (the parent's for a child context). Never null.
  std::shared_ptr<PersistentStoreCoordinator> coordinator() const;
  /// The parent context; null for a context on the store.
  std::shared_ptr<ObjectContext> parent() const;

  /// \name Objects
  ///@{

  /// A new object of `entityName`, inserted (awakeFromInsert has run). Throws
  /// std::invalid_argument for an unknown or abstract entity.
  std::shared_ptr<ManagedObject> insertNewObject(const std::string& entityName);
  template <class T>
  std::shared_ptr<T> insert(const std::string& entityName) {
    return std::dynamic_pointer_cast<T>(insertNewObject(entityName));
  }
  /// Marks the object deleted; delete rules run when pending changes are processed.
  void deleteObject(const std::shared_ptr<ManagedObject>& object);
  /// The object for `id`, loaded from the store when not registered. Throws StoreError
  /// (kObjectNotFound) when there is no such object.
  std::shared_ptr<ManagedObject> existingObject(const ObjectID& id);
  /// The object registered under `id` in this context, or null.
  std::shared_ptr<ManagedObject> registeredObject(const ObjectID& id) const;
  /// Gives the objects permanent IDs now (their rows' keys are reserved). Throws StoreError.
  void obtainPermanentIDs(const ObjectSet& objects);
  ///@}

  /// \name Fetching (throw StoreError)
  ///@{
  ObjectSet fetch(const FetchRequest& request);
  std::vector<ObjectID> fetchObjectIDs(const FetchRequest& request);
  std::vector<ResultDictionary> fetchDictionaries(const FetchRequest& request);
  /// The same rows handed to `row` one at a time as they are read, so a fetch of many rows
  /// holds one in memory. `row` must not use this context.
  void enumerateDictionaries(const FetchRequest& request, const std::function<void(const ResultDictionary&)>& row);
  /// The same rows handed to `row` as column values, one column per requested property in
  /// the request's order (every attribute in model order when none is named), without a
  /// dictionary or an allocation per row: for long scans that read a few known fields. A
  /// column's value is the one the dictionary would hold under its key. The row is valid only
  /// during the call; `row` must not use this context. Throws StoreError as fetchDictionaries.
  void enumerateRows(const FetchRequest& request, const std::function<void(const FetchedRow&)>& row);
  std::size_t count(const FetchRequest& request);
  /// Number of SQL queries this context has run; lets tests prove a cache was used.
  std::size_t storeFetchCount() const;
  ///@}

  /// \name Changes
  ///@{
  bool hasChanges() const;
  ObjectSet insertedObjects() const;
  ObjectSet updatedObjects() const;
  ObjectSet deletedObjects() const;
  /// Applies delete rules and posts "objects did change". Also run before a save and at
  /// the end of every main-queue task that changed the context.
  void processPendingChanges();
  /// What a save may be told besides its changes.
  struct SaveOptions {
    /// Runs the posting of this save's "did save" notification (`post`, to be called once),
    /// so that an observer can tell this save's notification apart, also when it is posted
    /// later, as the saves inside performInTransaction are. Null: posted as it is.
    std::function<void(const std::function<void()>& post)> aroundDidSave;
  };
  /// Validates and writes all pending changes in one transaction (to the parent, for a
  /// child context), then posts "did save". Throws StoreError; on failure nothing is
  /// written and the context is as it was before the call.
  void save(const SaveOptions& options = {});
  /// Runs `block` on the calling thread (the context's queue) inside one write transaction
  /// of the store, so that the saves it makes are committed together or not at all. Each
  /// save writes its rows into that transaction, and to `block` it looks done at once:
  /// objects have their permanent IDs and snapshots, and fetches and counts of this context
  /// read the written rows. Other contexts and processes see nothing before the commit; the
  /// saves are merged into the other contexts and their "did save" notifications posted, in
  /// the order of the saves, only after it. A save that fails inside takes back its own rows
  /// only, and `block` may go on. When `block` throws or the commit fails, the transaction
  /// is rolled back, the context is put back as it was before the call (unsaved changes
  /// included; what `block` changed after its last save stays unsaved), and the error is
  /// rethrown. As everything derived is saved with what it derives from, the store is not
  /// marked in use by a writer for these saves (see `openedAfterUncleanShutdown`). Nested
  /// calls join the outer transaction; for a child context `block` just runs, as its saves
  /// go to the parent. `block` must not save another context of the same store.
  void performInTransaction(const std::function<void()>& block);
  /// Discards every unsaved change and clears the undo steps. What "objects did change"
  /// had announced is announced back: rolled-back inserts as deleted, deletions as
  /// inserted, edits as updated.
  void rollback();
  /// Re-reads the object from the store; with `mergeChanges`, unsaved changes are kept on
  /// top, otherwise dropped.
  void refresh(const std::shared_ptr<ManagedObject>& object, bool mergeChanges);
  /// Forgets every registered object and unsaved change (nothing is announced) and clears
  /// the undo steps.
  void reset();

  MergePolicy mergePolicy() const;
  void setMergePolicy(MergePolicy policy);
  /// Whether saves of the other contexts of the coordinator (for a child: of its parent) are
  /// merged into this one. Off by default.
  bool automaticallyMergesChangesFromParent() const;
  void setAutomaticallyMergesChangesFromParent(bool on);
  /// Null when the context has none. The context shares ownership of the manager.
  UndoManager* undoManager() const;
  void setUndoManager(std::shared_ptr<UndoManager> undoManager);
  ///@}

  /// \name Queue
  ///@{

  /// Runs `fn` on the context's queue and waits: inline when already on it (re-entrant);
  /// for a main-queue context called from another thread, posted to the main queue.
  void performAndWait(const std::function<void()>& fn);
  /// Runs `fn` on the context's queue later.
  void perform(std::function<void()> fn);

  struct Impl;
  Impl& impl() const { return *impl_; }
  ///@}

 private:
  ObjectContext();
  std::unique_ptr<Impl> impl_;
};

}  // namespace chronelle
