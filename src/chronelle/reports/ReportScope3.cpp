#include "chronelle/reports/ReportScope3.h"

#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/reports/ScopeNodeSets.h"

namespace chronelle {

ReportScope3::ReportScope3(Calendar calendar) : ReportScopeProtocol(std::move(calendar)) {}

SessionQuery3 ReportScope3::toSessionQuery() const {
  SessionQuery3 query;
  query.from = fromDate();
  query.to = toDate();
  if (auto tasks = allIncludedTasks()) query.taskIds = toTaskIdsSet(*tasks);
  query.archived = archiveFilter;
  query.billingStatus = billingStatus;
  return query;
}

std::optional<TaskSet> ReportScope3::allIncludedTasks() const {
  if (!nodes) return std::nullopt;
  return toTaskSet(*nodes);
}

ReportScope3 ReportScope3::scopeByAdusting(const NodeSet& newNodes) const {
  return changed([&](ReportScope3& s) {
    if (newNodes.empty()) {
      s.nodes.reset();
    } else {
      s.nodes = newNodes;
    }
  });
}

ReportScope3 ReportScope3::scopeByAdding(const NodeSet& added) const {
  return changed([&](ReportScope3& s) {
    NodeSet united = s.nodes.value_or(NodeSet{});
    for (const auto& node : added) {
      if (node && findObject(united, *node) == united.end()) united.insert(node);
    }
    s.nodes = std::move(united);
  });
}

ReportScope3 ReportScope3::scopeByRemoving(const NodeSet& removed) const {
  return changed([&](ReportScope3& s) {
    NodeSet remaining = s.nodes.value_or(NodeSet{});
    for (const auto& node : removed) {
      if (!node) continue;
      if (auto it = findObject(remaining, *node); it != remaining.end()) remaining.erase(it);
    }
    s.nodes = std::move(remaining);
  });
}

ReportScope3 ReportScope3::scopeWithAllNodes() const {
  return changed([](ReportScope3& s) { s.nodes.reset(); });
}

std::string ReportScope3::description() const {
  return "    <ReportScope3:\n        " + describePeriod() + ",\n        nodes = [" +
         (nodes ? identifierList(*nodes) : std::string("nil")) + ")]" + describeFilters() + "\n    >";
}

bool operator==(const ReportScope3& a, const ReportScope3& b) {
  return a.sharedFieldsEqual(b) &&
         identifierSet(a.nodes.value_or(NodeSet{})) == identifierSet(b.nodes.value_or(NodeSet{}));
}

}  // namespace chronelle
