#include "chronelle/reports/ScopeNodeSets.h"

#include <algorithm>

namespace chronelle {

std::set<std::string> identifierSet(const NodeSet& nodes) {
  std::set<std::string> identifiers;
  for (const auto& node : nodes) {
    if (node) identifiers.insert(node->identifier().value_or(""));
  }
  return identifiers;
}

std::string identifierList(const NodeSet& nodes) {
  std::string text;
  for (const auto& node : nodes) {
    if (!node) continue;
    text += (text.empty() ? "" : ", ") + node->identifier().value_or("<no identifier>");
  }
  return text;
}

NodeSet::const_iterator findObject(const NodeSet& nodes, const Node& node) {
  return std::find_if(nodes.begin(), nodes.end(),
                      [&](const std::shared_ptr<Node>& member) { return member && isSameObject(member.get(), &node); });
}

}  // namespace chronelle
