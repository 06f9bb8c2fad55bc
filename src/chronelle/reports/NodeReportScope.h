#pragma once

#include <memory>
#include <string>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/model/Node.h"
#include "chronelle/model/NodeSet.h"
#include "chronelle/reports/ReportScopeProtocol.h"

namespace chronelle {

class BaseDataProvider;

/// A report period over the children of one node (the drill-down of a folder), minus some
/// excluded children; without a parent it covers the top level of the tree. A plain value:
/// every operation returns a changed copy.
///
/// Nodes are the store's objects; operations that read them run on their context's queue.
/// The period operations run on any thread.
class NodeReportScope : public ReportScopeProtocol<NodeReportScope> {
 public:
  /// The node whose children are reported; null for the top level.
  std::shared_ptr<Node> parentNode;
  /// Direct children of the parent (or top-level nodes) left out of the report.
  NodeSet excludedNodes;

  /// A daily scope of today over the top level of the tree.
  explicit NodeReportScope(Calendar calendar);
  /// A daily scope of today over `parentNode` (null: the top level).
  NodeReportScope(std::shared_ptr<Node> parentNode, Calendar calendar);

  /// The query of this scope: the period bounds, the IDs of `includedTasks(dataProvider)`
  /// (always present, possibly empty), the archive and billing filters.
  SessionQuery3 toSessionQuery(const BaseDataProvider& dataProvider) const;
  /// The tasks reported: with a parent and no exclusions, every task of the parent (itself
  /// when it is a task); otherwise every task under the parent's direct children (the
  /// top-level nodes, archived ones included, when there is no parent) that are not
  /// excluded. Reads the top level through `dataProvider` (its context's queue).
  TaskSet includedTasks(const BaseDataProvider& dataProvider) const;

  /// `parentNode` becomes `parentNode` (null: the top level); exclusions stay.
  NodeReportScope scopeByAdjustingParentNode(std::shared_ptr<Node> parentNode) const;
  /// Removes `node` from the exclusions when it is there (by object ID), else adds it.
  NodeReportScope scopeByTogglingExcludedNode(const std::shared_ptr<Node>& node) const;
  /// No exclusions.
  NodeReportScope scopeWithoutExcludedNodes() const;

  /// A multi-line text for logs: "    <NodeReportScope:\n        type = …" with the period,
  /// the parent's description ("nil" when absent), the excluded identifiers and the filters.
  std::string description() const;

  /// Equal when the shared fields agree, the parents are the same object (or both absent)
  /// and the exclusions hold the same identifiers.
  friend bool operator==(const NodeReportScope& a, const NodeReportScope& b);
};

}  // namespace chronelle
