#pragma once

namespace chronelle {

/// Which nodes a listing of the tree takes: by kind and by archived state. The read side
/// applies it. A value type.
struct NodeFilter {
  /// Which nodes by archive state.
  enum class ArchivedStateOption { active, archived, all };
  /// Which nodes by kind.
  enum class NodeTypeOption { task, folder, all };

  /// A filter of `nodeType` nodes in `archivedState`.
  NodeFilter(NodeTypeOption nodeType, ArchivedStateOption archivedState)
      : archivedState(archivedState), nodeType(nodeType) {}

  /// Every node, archived or not.
  static const NodeFilter allNodes;

  /// Archive state of the nodes taken.
  ArchivedStateOption archivedState;
  /// Kind of the nodes taken.
  NodeTypeOption nodeType;

  /// Equal when every field is.
  friend bool operator==(const NodeFilter&, const NodeFilter&) = default;
};

inline const NodeFilter NodeFilter::allNodes{NodeFilter::NodeTypeOption::all,
                                             NodeFilter::ArchivedStateOption::all};

}  // namespace chronelle
