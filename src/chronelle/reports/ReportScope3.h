#pragma once

#include <optional>
#include <string>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/model/NodeSet.h"
#include "chronelle/reports/ReportScopeProtocol.h"

namespace chronelle {

/// A report period plus an optional set of folders and tasks whose tasks are reported
/// (absent: all tasks). A plain value: every operation returns a changed copy.
///
/// The nodes are the store's objects, held but not owned in the sense of the store (the
/// scope keeps them alive, as the application's views do); operations that read them
/// (`toSessionQuery`, `allIncludedTasks`, equality, `description`) run on their context's
/// queue, the main thread for the view context. The period operations run on any thread.
class ReportScope3 : public ReportScopeProtocol<ReportScope3> {
 public:
  using ReportScopeProtocol::scopeByAdding;
  using ReportScopeProtocol::scopeByRemoving;

  /// Folders and tasks whose tasks are reported; absent means all tasks.
  std::optional<NodeSet> nodes;

  /// A daily scope of today over all tasks, both archive states and all billing states.
  explicit ReportScope3(Calendar calendar);

  /// The query of this scope: the period bounds, the object IDs of `allIncludedTasks()`
  /// (absent when `nodes` is absent), the archive and billing filters.
  SessionQuery3 toSessionQuery() const;
  /// Absent when `nodes` is absent; otherwise every task among the nodes and below their
  /// folders, each once.
  std::optional<TaskSet> allIncludedTasks() const;

  /// `nodes` becomes `nodes`; an empty set is stored as absent (all tasks).
  ReportScope3 scopeByAdusting(const NodeSet& nodes) const;
  /// The current nodes (absent counts as none) united with `nodes`.
  ReportScope3 scopeByAdding(const NodeSet& nodes) const;
  /// The current nodes (absent counts as none) minus `nodes`, matched by object ID; an empty
  /// result stays an empty set, which selects no task.
  ReportScope3 scopeByRemoving(const NodeSet& nodes) const;
  /// `nodes` becomes absent (all tasks).
  ReportScope3 scopeWithAllNodes() const;

  /// A multi-line text for logs: "    <ReportScope3:\n        type = …" with the period,
  /// the nodes' identifiers ("nil" when absent) and the filters.
  std::string description() const;

  /// Equal when the shared fields agree (instants at whole-second resolution in UTC, the
  /// calendar by first weekday only) and the node sets hold the same identifiers (an absent
  /// set equals an empty one).
  friend bool operator==(const ReportScope3& a, const ReportScope3& b);
};

}  // namespace chronelle
