#pragma once

#include "chronelle/reports/SessionColumnData.h"

namespace chronelle {

/// A reference-type holder of one chart column, for callers that keep columns in caches of
/// shared objects (hold it by std::shared_ptr). Immutable; thread-safe.
class CachedSessionColumnData {
 public:
  /// Holds `data`.
  explicit CachedSessionColumnData(SessionColumnData data) : data(std::move(data)) {}

  /// The column.
  const SessionColumnData data;
};

}  // namespace chronelle
