#pragma once

#include <vector>

#include "chronelle/list/SessionFragmentLocation.h"

namespace chronelle {

class SessionFetchedResultsController3;

/// Told by the session list once per batch of store changes, on the main thread.
class SessionFetchedResultsControllerDelegate3 {
 public:
  virtual ~SessionFetchedResultsControllerDelegate3() = default;

  /// `deleted`: the fragments removed, at their places before the batch, greatest section
  /// first and greatest item first within a section. `inserted`: the fragments added, entry
  /// by entry (latest begin first), each entry's places taken right after it was added, so a
  /// later entry of the same batch may have shifted an earlier entry's places. Both may be
  /// empty.
  virtual void controllerDidChangeFragments(SessionFetchedResultsController3& controller,
                                            const std::vector<SessionFragmentLocation>& deleted,
                                            const std::vector<SessionFragmentLocation>& inserted) = 0;
};

}  // namespace chronelle
