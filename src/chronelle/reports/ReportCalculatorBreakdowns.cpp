// Breakdowns of a period by billing state and by node, and the tracked tasks they rest on.

#include <functional>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NodeFilter.h"
#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

using Billing = SessionQuery3::BillingStatusOption;

bool isZero(const TotalValues& values) {
  return values.duration == 0 && values.revenue == 0 && values.sessionCount == 0;
}

}  // namespace

BillingBreakdown ReportCalculator::calculateBillingBreakdown(const SessionQuery3& query,
                                                             TotalValueTypeOptionSet valueTypes) const {
  BillingBreakdown breakdown;
  for (const Billing status : {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid}) {
    SessionQuery3 single = query;
    single.billingStatus = std::set<Billing>{status};
    breakdown.totalValues(status) = totalValuesForSessions(single, valueTypes);
  }
  // Non-billable entries may still carry a stored revenue from an earlier rate; it is not
  // money the user earned.
  breakdown.nonBillable.revenue = 0;
  return breakdown;
}

ReportCalculator::NodeBreakdown ReportCalculator::calculateNodeBreakdown(const SessionQuery3& query,
                                                                         TotalValueTypeOptionSet valueTypes) const {
  NodeBreakdown result;
  dataProvider_->context()->performAndWait([&] {
    const TaskSet tasks = trackedTasks(query);
    std::map<ObjectID, std::shared_ptr<Node>> parents;
    for (const auto& task : tasks) {
      SessionQuery3 single = query;
      single.taskIds = std::set<ObjectID>{task->objectID()};
      result[task->objectID()] = totalValuesForSessions(single, valueTypes);
      for (auto& parent : task->allParents()) parents.emplace(parent->objectID(), std::move(parent));
    }
    // Folders sum their tracked descendants: each task was fetched once, folders never.
    std::function<void(const Folder&)> rollUp = [&](const Folder& folder) {
      if (result.contains(folder.objectID())) return;
      TotalValues sum;
      for (const auto& child : folder.children()) {
        if (!child) continue;
        if (std::dynamic_pointer_cast<Task>(child)) {
          if (auto it = result.find(child->objectID()); it != result.end()) sum += it->second;
        } else if (auto childFolder = std::dynamic_pointer_cast<Folder>(child);
                   childFolder && parents.contains(childFolder->objectID())) {
          rollUp(*childFolder);
          if (auto it = result.find(childFolder->objectID()); it != result.end()) sum += it->second;
        }
      }
      result[folder.objectID()] = sum;
    };
    for (const auto& [id, node] : parents) {
      if (auto folder = std::dynamic_pointer_cast<Folder>(node)) rollUp(*folder);
    }
  });
  return result;
}

ReportCalculator::NodeBreakdown ReportCalculator::calculateFlatNodeBreakdown(const SessionQuery3& query,
                                                                             const std::shared_ptr<Folder>& parentFolder,
                                                                             TotalValueTypeOptionSet valueTypes) const {
  NodeBreakdown result;
  dataProvider_->context()->performAndWait([&] {
    for (const auto& child : dataProvider_->getChildren(parentFolder, NodeFilter::allNodes)) {
      if (!child) continue;
      std::set<ObjectID> taskIds;
      if (auto folder = std::dynamic_pointer_cast<Folder>(child)) {
        taskIds = toTaskIdsSet(folder->allTasks());
        // An empty task set would select every task; a folder without tasks has no time.
        if (taskIds.empty()) continue;
      } else {
        taskIds.insert(child->objectID());
      }
      SessionQuery3 childQuery = query;
      childQuery.taskIds = std::move(taskIds);
      const TotalValues values = totalValuesForSessions(childQuery, valueTypes);
      if (!isZero(values)) result[child->objectID()] = values;
    }
  });
  return result;
}

TaskSet ReportCalculator::trackedTasks(const SessionQuery3& query) const {
  TaskSet tasks;
  ObjectContext& context = *dataProvider_->context();
  context.performAndWait([&] {
    try {
      FetchRequest request(Session::kEntityName);
      request.resultType = FetchResultType::dictionary;
      request.predicate = query.predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
      request.propertiesToFetch.emplace_back(std::string("task"));
      request.returnsDistinctResults = true;
      for (const auto& row : context.fetchDictionaries(request)) {
        auto it = row.find("task");
        if (it == row.end()) continue;
        const auto id = it->second.asObjectID();
        if (!id) continue;
        if (auto task = std::dynamic_pointer_cast<Task>(dataProvider_->getObject(*id))) tasks.insert(std::move(task));
      }
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching tracked tasks", error);
    }
  });
  return tasks;
}

NodeSet ReportCalculator::trackedNodes(const SessionQuery3& query) const {
  NodeSet nodes;
  dataProvider_->context()->performAndWait([&] {
    for (const auto& task : trackedTasks(query)) {
      nodes.insert(task);
      for (auto& parent : task->allParents()) nodes.insert(std::move(parent));
    }
  });
  return nodes;
}

}  // namespace chronelle
