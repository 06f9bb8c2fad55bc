#pragma once

// Internal to MainDataProvider's sources.

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

/// The part of the provider that the save handler's deferred work uses after the handler has
/// returned: held by shared_ptr so that work never touches a destroyed provider. Main thread
/// only, like the provider.
struct MainDataProvider::Shared {
  /// Label "Data".
  Logger log{LogLabel::data};
  /// True only while the recomputed confirmed durations are saved, so that save is not
  /// announced as a change of its own.
  bool ignoreContextDidChangeNotifications = false;
  /// Set by an undo or redo of the view context: the next recount checks every task and
  /// folder, not only those the modifier recorded.
  bool recountAllAfterNextSave = false;
};

}  // namespace chronelle
