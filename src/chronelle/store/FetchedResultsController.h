#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/FetchedResultsControllerDelegate.h"
#include "chronelle/store/IndexPath.h"
#include "chronelle/store/ObjectContext.h"

namespace chronelle {

class EntityDescription;
struct Notification;

/// Keeps the results of one object fetch up to date with its context and tells a delegate
/// what changed, batch by batch. The results form one section (index paths have section
/// 0 and the object's position as item), ordered by the request's sort descriptors with
/// the store's tie-break (saved objects by primary key, unsaved ones after them).
///
/// After `performFetch()` it follows the context's "objects did change" notification (posted
/// whenever the context processes its pending changes: at the end of every main-queue task
/// that changed it and before every save) and its "did merge changes" notification. Each
/// changed object of the fetched entity is tested against the predicate in memory:
///  - it starts matching → insert (new index path only);
///  - it was in the results and was deleted or stopped matching → remove (old index path
///    only);
///  - it stays and its place among the other results changed → move (both);
///  - it stays in its place → update (both, equal unless other objects came or went).
/// Per batch the delegate gets `controllerWillChangeContent`, the removes in old order, the
/// inserts, moves and updates in new order, then `controllerDidChangeContent`; a batch that
/// touches nothing fetched produces no calls. Applying the removes and the old positions of
/// the moves, then the inserts and the new positions of the moves, to the old results gives
/// the new ones.
///
/// Limits: only the changed objects are re-tested, so a change of a related object that
/// a predicate or sort key reads through a key path ("task.archived") is seen only when the
/// fetched object itself changes; the fetch limit is applied by the first fetch only.
///
/// Use on the context's queue only (the main thread for a main-queue context). Not
/// copyable or movable: the notification observers refer to it.
class FetchedResultsController {
 public:
  /// Over `context` (not null; shared) and an object fetch `request`. Nothing is fetched yet.
  /// Throws std::invalid_argument for a null context or a request whose entity is not in
  /// the context's model.
  ///@{
  FetchedResultsController(std::shared_ptr<ObjectContext> context, FetchRequest request);
  ~FetchedResultsController();
  FetchedResultsController(const FetchedResultsController&) = delete;
  ///@}
  FetchedResultsController& operator=(const FetchedResultsController&) = delete;

  /// The request, as given.
  const FetchRequest& fetchRequest() const { return request_; }
  /// The context fetched from and followed.
  const std::shared_ptr<ObjectContext>& managedObjectContext() const { return context_; }

  /// The receiver of the change batches; not owned, null when none. It must outlive the
  /// controller or be reset first.
  ///@{
  FetchedResultsControllerDelegate* delegate() const { return delegate_; }
  void setDelegate(FetchedResultsControllerDelegate* delegate) { delegate_ = delegate; }
  ///@}

  /// Runs the fetch (pending changes of the context included) and from then on follows the
  /// context's changes. The delegate is not told. Throws the fetch's StoreError, leaving
  /// the previous results in place.
  void performFetch();
  /// The current results in order; empty before the first fetch. The reference stays valid
  /// until the next batch.
  const ObjectSet& fetchedObjects() const { return objects_; }
  /// The first sort key of the result at `index` (below fetchedObjects().size()), as it was
  /// when the result took its place.
  const Value& firstSortKey(std::size_t index) const { return entries_[index].firstKey; }
  /// The object at `indexPath`, or null when the section is not 0 or the item is outside.
  std::shared_ptr<ManagedObject> objectAtIndexPath(IndexPath indexPath) const;
  /// Where `object` is in the results, or absent when it is not there.
  std::optional<IndexPath> indexPathForObject(const ManagedObject& object) const;

 private:
  struct Entry {
    std::shared_ptr<ManagedObject> object;
    /// The sort keys: the first in place (most results sort by one key, and a list holds
    /// thousands of entries), the others apart.
    Value firstKey;
    std::vector<Value> moreKeys;
    const Value& key(std::size_t i) const { return i == 0 ? firstKey : moreKeys[i - 1]; }
  };
  struct Candidate;

  void objectsDidChange(const Notification& notification);
  void didMergeChanges(const Notification& notification);
  /// Applies one batch: `changed` objects (any entity, duplicates allowed) of which those
  /// in `gone` were deleted.
  void applyChanges(const std::vector<std::shared_ptr<ManagedObject>>& changed,
                    const std::vector<const ManagedObject*>& gone);
  bool isFetchedEntity(const EntityDescription& entity) const;
  bool matches(const ManagedObject& object) const;
  /// The entry of `object`, with its sort keys as they are now.
  Entry entryFor(std::shared_ptr<ManagedObject> object) const;
  /// The first sort key of `object` as it is now.
  Value firstKeyOf(const ManagedObject& object) const;
  /// Strict order of two entries as the store's fetch orders them.
  bool precedes(const Entry& a, const Entry& b) const;

  std::shared_ptr<ObjectContext> context_;
  FetchRequest request_;
  const EntityDescription* entity_ = nullptr;
  std::vector<std::vector<std::string>> sortPaths_;
  /// The slot of the first sort key in the last entity's layout read (-1: read by name).
  ///@{
  mutable const EntityDescription::Layout* firstKeyLayout_ = nullptr;
  mutable int firstKeySlot_ = -1;
  ///@}
  FetchedResultsControllerDelegate* delegate_ = nullptr;
  bool fetched_ = false;
  std::vector<Entry> entries_;
  ObjectSet objects_;
  /// Declared last: unregistered first on destruction.
  ///@{
  ObserverToken changeObserver_;
  ObserverToken mergeObserver_;
  ///@}
};

}  // namespace chronelle
