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

/// Waits until every commit made through `context`'s store connection is on disk. A no-op
/// for a context whose saves go to a parent context, or when nothing was written yet.
/// Throws StoreError when the disk reports a failure.
void syncSavedChanges(ObjectContext& context);

}  // namespace chronelle
