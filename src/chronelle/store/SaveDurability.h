#pragma once
// Saving with the disk sync left to a save that follows at once.

namespace chronelle {

class ObjectContext;

/// Saves `context` exactly like `ObjectContext::save()` (same validation, notifications and
/// errors), except that the store's commit does not wait for the disk: the saved changes
/// reach every other context and process at once, survive a crash of this process, but are
/// on disk only after the next synced commit on the same store or `syncSavedChanges`. Meant
/// for a save that another save follows within the same write, so that the two cost one
/// sync; the caller must make sure one of the two happens before it reports the write done.
/// Main thread or the context's queue, like `save()`. Throws what `save()` throws.
void saveWithoutWaitingForDisk(ObjectContext& context);

/// Saves `context` exactly like `ObjectContext::save()`, for a change complete in itself:
/// one after which the application has nothing of its own left to save (no derived values
/// to bring in step in a further save). Such a save does not mark the store as in use by a
/// writer, so it costs no sync of the lock file, and a crash after it alone does not make
/// the next open report an unclean shutdown (`openedAfterUncleanShutdown`). Same thread
/// and errors as `save()`.
void saveCompleteInItself(ObjectContext& context);

/// Waits until every commit made through `context`'s store connection is on disk. A no-op
/// for a context whose saves go to a parent context, or when nothing was written yet.
/// Throws StoreError when the disk reports a failure.
void syncSavedChanges(ObjectContext& context);

}  // namespace chronelle
