#pragma once

#include <memory>

#include "chronelle/list/SessionFragment.h"
#include "chronelle/store/IndexPath.h"

namespace chronelle {

/// Where a fragment is, or was, in the session list's sections (section = day, item =
/// position in the day), with the fragment itself. A value type.
struct SessionFragmentLocation {
  /// Where the fragment is listed: section (day) and row.
  IndexPath indexPath;
  /// The fragment at that place.
  std::shared_ptr<SessionFragment> object;
};

}  // namespace chronelle
