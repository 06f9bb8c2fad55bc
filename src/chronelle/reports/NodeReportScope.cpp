#include "chronelle/reports/NodeReportScope.h"

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NodeFilter.h"
#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ScopeNodeSets.h"

namespace chronelle {

NodeReportScope::NodeReportScope(Calendar calendar) : NodeReportScope(nullptr, std::move(calendar)) {}

NodeReportScope::NodeReportScope(std::shared_ptr<Node> parent, Calendar calendar)
    : ReportScopeProtocol(std::move(calendar)), parentNode(std::move(parent)) {}

SessionQuery3 NodeReportScope::toSessionQuery(const BaseDataProvider& dataProvider) const {
  SessionQuery3 query;
  query.from = fromDate();
  query.to = toDate();
  query.taskIds = toTaskIdsSet(includedTasks(dataProvider));
  query.archived = archiveFilter;
  query.billingStatus = billingStatus;
  return query;
}

TaskSet NodeReportScope::includedTasks(const BaseDataProvider& dataProvider) const {
  if (parentNode && excludedNodes.empty()) return toTaskSet(NodeSet{parentNode});

  std::vector<std::shared_ptr<Node>> candidates;
  if (!parentNode) {
    candidates = dataProvider.getChildren(nullptr, NodeFilter::allNodes);
  } else if (std::dynamic_pointer_cast<Task>(parentNode)) {
    candidates.push_back(parentNode);
  } else {
    candidates = parentNode->children();
  }
  // Only direct candidates are matched against the exclusions, not nodes deeper down.
  NodeSet kept;
  for (const auto& candidate : candidates) {
    if (candidate && findObject(excludedNodes, *candidate) == excludedNodes.end()) kept.insert(candidate);
  }
  return toTaskSet(kept);
}

NodeReportScope NodeReportScope::scopeByAdjustingParentNode(std::shared_ptr<Node> parent) const {
  return changed([&](NodeReportScope& s) { s.parentNode = std::move(parent); });
}

NodeReportScope NodeReportScope::scopeByTogglingExcludedNode(const std::shared_ptr<Node>& node) const {
  return changed([&](NodeReportScope& s) {
    if (!node) return;
    if (auto it = findObject(s.excludedNodes, *node); it != s.excludedNodes.end()) {
      s.excludedNodes.erase(it);
    } else {
      s.excludedNodes.insert(node);
    }
  });
}

NodeReportScope NodeReportScope::scopeWithoutExcludedNodes() const {
  return changed([](NodeReportScope& s) { s.excludedNodes.clear(); });
}

std::string NodeReportScope::description() const {
  return "    <NodeReportScope:\n        " + describePeriod() + ",\n        parentNode = " +
         (parentNode ? parentNode->description() : std::string("nil")) + ",\n        excludedNodes = [" +
         identifierList(excludedNodes) + ")]" + describeFilters() + "\n    >";
}

bool operator==(const NodeReportScope& a, const NodeReportScope& b) {
  const bool sameParent = (!a.parentNode && !b.parentNode) ||
                          (a.parentNode && b.parentNode && isSameObject(a.parentNode.get(), b.parentNode.get()));
  return sameParent && a.sharedFieldsEqual(b) && identifierSet(a.excludedNodes) == identifierSet(b.excludedNodes);
}

}  // namespace chronelle
