#pragma once

namespace chronelle {

/// How a time entry continues beyond the day of one of its fragments.
enum class SessionEdge {
  /// The entry began on an earlier day and ends on this day.
  before,
  /// The entry begins on this day and ends on a later day.
  after,
  /// The entry began on an earlier day and ends on a later day.
  beforeAndAfter,
  /// The entry begins and ends on this day.
  none,
};

/// The case name ("before", "after", "beforeAndAfter", "none").
inline const char* toString(SessionEdge edge) {
  switch (edge) {
    case SessionEdge::before: return "before";
    case SessionEdge::after: return "after";
    case SessionEdge::beforeAndAfter: return "beforeAndAfter";
    case SessionEdge::none: return "none";
  }
  return "unknown";
}

}  // namespace chronelle
