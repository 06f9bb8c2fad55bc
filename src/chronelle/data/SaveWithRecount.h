#pragma once

// Internal to MainDataProvider's sources: a write's save followed, in the same write, by the
// recount of the confirmed durations it made stale.

#include "chronelle/platform/Logger.h"

namespace chronelle {

class DataModifier;
class ObjectContext;

/// The provider's state that the recount reads and sets (its fields, by reference).
struct RecountState {
  /// Set while the recount is saved, so that save is not announced as a change of its own.
  bool& ignoreContextDidChangeNotifications;
  /// Set by an undo or redo: the next recount checks every task and folder.
  bool& recountAllAfterNextSave;
  /// Where a failed recount is logged.
  const Logger& log;
};

/// The recount state of the provider's shared part (a template, as that type is private).
template <class Shared>
RecountState recountStateOf(Shared& shared) {
  return {shared.ignoreContextDidChangeNotifications, shared.recountAllAfterNextSave, shared.log};
}

/// Recomputes the confirmed durations that the saves so far made stale (every task and
/// folder after an undo or redo) and saves them without announcing that save. Returns
/// whether it saved. Throws what the save throws. Main thread, inside a write.
bool saveRecountedDurations(const RecountState& state, DataModifier& modifier,
                            ObjectContext& context);

/// Saves a write's changes and then, at once, the recount they call for, so that the two
/// commits cost one disk sync and the totals are right when the write returns; the recount
/// queued by the save's notification then finds nothing left to do. Both commits are on
/// disk when this returns. Throws what the write's own save throws; a failed recount is
/// logged ("Error on contextDidSave"), its changes dropped, and does not fail the write.
/// Main thread, inside a write.
void saveWithRecount(const RecountState& state, DataModifier& modifier, ObjectContext& context);

}  // namespace chronelle
