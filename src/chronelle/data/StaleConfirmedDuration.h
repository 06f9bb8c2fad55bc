#pragma once

#include <memory>

namespace chronelle {

class Node;

/// A task or folder whose stored `confirmedDuration` differs from the value recomputed from
/// the saved entries below it: a task's is the sum of its own entries' confirmed durations, a
/// folder's the sum of its children's recomputed values. Left behind when a process dies
/// between the save of an entry and the save of the recount that follows it.
struct StaleConfirmedDuration {
  /// The node, an object of the context that was checked (shared: it is the context's object).
  std::shared_ptr<Node> node;
  /// The value the store held when checked, in seconds.
  double stored = 0;
  /// The value recomputed from the saved entries, in seconds.
  double expected = 0;
};

}  // namespace chronelle
