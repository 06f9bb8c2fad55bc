#pragma once

// Internal to MainDataProvider's sources: the recount of the confirmed durations a save made
// stale, saved without being announced.

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
/// folder after an undo or redo) and saves them without announcing that save (its "did
/// save" is posted with `ignoreContextDidChangeNotifications` set). Returns whether it
/// saved. Throws what the save throws. Main thread, inside a write.
bool saveRecountedDurations(const RecountState& state, DataModifier& modifier,
                            ObjectContext& context);

}  // namespace chronelle
