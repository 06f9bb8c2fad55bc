#pragma once

namespace chronelle {

// Which nodes a listing of the tree takes: by kind and by archived state. The read side
// applies it. A value type.
struct NodeFilter {
  enum class ArchivedStateOption { active, archived, all };
  enum class NodeTypeOption { task, folder, all };

  NodeFilter(NodeTypeOption nodeType, ArchivedStateOption archivedState)
      : archivedState(archivedState), nodeType(nodeType) {}

  // Every node, archived or not.
  static const NodeFilter allNodes;

  ArchivedStateOption archivedState;
  NodeTypeOption nodeType;

  friend bool operator==(const NodeFilter&, const NodeFilter&) = default;
};

inline const NodeFilter NodeFilter::allNodes{NodeFilter::NodeTypeOption::all,
                                             NodeFilter::ArchivedStateOption::all};

}  // namespace chronelle
