#pragma once

#include <memory>
#include <set>
#include <string>

#include "chronelle/model/Node.h"
#include "chronelle/model/NodeSet.h"

namespace chronelle {

// Helpers for the node sets of report scopes. Nodes are compared by identity through their
// ObjectIDs, or by their `identifier` strings where scopes compare as values. Run on the
// nodes' context queue.

/// The `identifier` of every node (the empty text for a node without one).
std::set<std::string> identifierSet(const NodeSet& nodes);
/// The identifiers in set order joined by ", " ("<no identifier>" for a node without one).
std::string identifierList(const NodeSet& nodes);
/// The member of `nodes` with the ObjectID of `node`, or the end iterator.
NodeSet::const_iterator findObject(const NodeSet& nodes, const Node& node);

}  // namespace chronelle
