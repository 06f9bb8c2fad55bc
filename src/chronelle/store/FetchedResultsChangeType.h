#pragma once

namespace chronelle {

/// What happened to one object of a fetched-results controller's list in one batch, with
/// the platform's raw values. A value outside these is possible when a raw value is cast
/// in; receivers must treat it as unknown.
enum class FetchedResultsChangeType {
  /// The object started to belong to the results (new, or now matching the predicate).
  insert = 1,
  /// The object left the results (deleted, or no longer matching).
  remove = 2,
  /// The object stayed but its place in the sort order changed.
  move = 3,
  /// The object stayed in its place and changed.
  update = 4,
};

/// The case name ("insert", "remove", "move", "update"), or "unknown(<raw>)".
inline const char* toString(FetchedResultsChangeType type) {
  switch (type) {
    case FetchedResultsChangeType::insert: return "insert";
    case FetchedResultsChangeType::remove: return "remove";
    case FetchedResultsChangeType::move: return "move";
    case FetchedResultsChangeType::update: return "update";
  }
  return "unknown";
}

}  // namespace chronelle
