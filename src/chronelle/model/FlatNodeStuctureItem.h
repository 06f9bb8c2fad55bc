#pragma once

#include <functional>
#include <memory>

#include "chronelle/model/Node.h"

namespace chronelle {

/// One row of a flattened listing of the tree: the node, its depth (0 at the top of the
/// listing) and whether it has children. Rows are equal, and hash alike, when their nodes have
/// equal ObjectIDs; depth and children take no part, so a node is one row wherever it is
/// listed. A value type; the node is shared with its context.
struct FlatNodeStuctureItem {
  /// Depth in the tree: 0 for a top-level node.
  int level = 0;
  /// The folder or task.
  std::shared_ptr<Node> node;
  /// True for a folder with at least one listed child.
  bool hasChildren = false;

  /// Equal when level and children flag agree and the nodes are the same object.
  friend bool operator==(const FlatNodeStuctureItem& a, const FlatNodeStuctureItem& b) {
    if (!a.node || !b.node) return a.node == b.node;
    return a.node->objectID() == b.node->objectID();
  }
};

}  // namespace chronelle

template <>
struct std::hash<chronelle::FlatNodeStuctureItem> {
  std::size_t operator()(const chronelle::FlatNodeStuctureItem& item) const noexcept {
    return item.node ? std::hash<chronelle::ObjectID>()(item.node->objectID()) : 0;
  }
};
