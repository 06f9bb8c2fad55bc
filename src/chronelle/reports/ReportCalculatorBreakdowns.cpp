// Breakdowns of a period by billing state and by node, and the tracked tasks they rest on.

#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NodeFilter.h"
#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ReportCacheProvider.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/support/Logging.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

using Billing = SessionQuery3::BillingStatusOption;

// Up to this many tracked tasks are looked up one by one.
constexpr std::size_t kTasksLoadedOneByOne = 4;

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
    breakdown.totalValues(status) = cachedTotals(single, valueTypes);
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
    const auto keyFor = [&](const Task& task) {
      SessionQuery3 single = query;
      single.taskIds = std::set<ObjectID>{task.objectID()};
      return single.hashKey() + "-" + std::to_string(valueTypes.rawValue);
    };
    std::optional<NodeBreakdown> grouped;
    for (const auto& task : tasks) {
      const std::string key = keyFor(*task);
      std::optional<TotalValues> values;
      if (cacheProvider_) values = cacheProvider_->breakdownCacheValue(key);
      if (!values) {
        if (!grouped) grouped = computeTotalsByTask(query, valueTypes);
        auto it = grouped->find(task->objectID());
        values = it == grouped->end() ? TotalValues::zero : it->second;
        if (cacheProvider_) cacheProvider_->setValueToBreakdownCache(*values, key);
      }
      result[task->objectID()] = *values;
    }
    // Folders sum their tracked descendants: each task counts once in every folder above it,
    // and no folder is fetched.
    for (const auto& task : tasks) {
      const TotalValues values = result[task->objectID()];
      for (const auto& parent : task->allParents()) {
        if (std::dynamic_pointer_cast<Folder>(parent)) result[parent->objectID()] += values;
      }
    }
  });
  return result;
}

ReportCalculator::NodeBreakdown ReportCalculator::computeTotalsByTask(const SessionQuery3& query,
                                                                      TotalValueTypeOptionSet valueTypes) const {
  ObjectContext& context = *dataProvider_->context();
  const bool wantsDuration = valueTypes.contains(TotalValueTypeOptionSet::duration);
  const bool wantsRevenue = valueTypes.contains(TotalValueTypeOptionSet::revenue);
  const bool wantsCount = valueTypes.contains(TotalValueTypeOptionSet::sessionCount);
  NodeBreakdown result;
  // Finished entries wholly inside the period, summed per task by the store; grouping by the
  // billable flag too gives the revenue of billable entries in the same pass.
  try {
    FetchRequest request(Session::kEntityName);
    request.resultType = FetchResultType::dictionary;
    request.predicate = query.predicate(EdgeSessionPredicateOption::withoutEdgeSessions, false);
    request.propertiesToFetch = {std::string("task"), std::string("isBillable"),
                                 ExpressionDescription{"SumDuration", "sum:", "confirmedDuration", AttributeType::doubleType},
                                 ExpressionDescription{"SumRevenue", "sumOfHundredths:", "confirmedRevenue",
                                                       AttributeType::integer64},
                                 ExpressionDescription{"Count", "count:", "begin", AttributeType::integer64}};
    request.propertiesToGroupBy = {"task", "isBillable"};
    for (const auto& row : context.fetchDictionaries(request)) {
      const auto read = [&](const char* key) -> const Value* {
        auto it = row.find(key);
        return it == row.end() ? nullptr : &it->second;
      };
      const auto task = read("task") ? read("task")->asObjectID() : std::nullopt;
      if (!task) continue;
      TotalValues& values = result[*task];
      if (wantsDuration && read("SumDuration")) values.duration += read("SumDuration")->asDouble().value_or(0);
      if (wantsCount && read("Count")) values.sessionCount += read("Count")->asInteger().value_or(0);
      const bool billable = read("isBillable") && read("isBillable")->asBool().value_or(false);
      if (wantsRevenue && billable && read("SumRevenue")) {
        values.revenue = amountOfCents(centsOf(values.revenue) + read("SumRevenue")->asInteger().value_or(0));
      }
    }
  } catch (const std::exception& error) {
    logError(log_, "Error on fetching sum duration", error);
  }
  // Entries crossing a bound, clipped per task.
  std::map<ObjectID, std::vector<std::shared_ptr<Session>>> edges;
  try {
    FetchRequest request(Session::kEntityName);
    request.predicate = query.predicate(EdgeSessionPredicateOption::edgeSessionsOnly, false);
    for (auto& object : context.fetch(request)) {
      auto session = std::dynamic_pointer_cast<Session>(object);
      auto task = session ? session->task() : nullptr;
      if (task) edges[task->objectID()].push_back(std::move(session));
    }
  } catch (const std::exception& error) {
    logError(log_, "Error on fetching edge sessions for duration and revenue", error);
    edges.clear();
  }
  for (const auto& [task, sessions] : edges) {
    TotalValues& values = result[task];
    if (wantsDuration) values.duration += totalDuration(sessions, query.from, query.to, CalculationType::confirmed);
    if (wantsRevenue) {
      const double edgeRevenue = totalRevenue(sessions, query.from, query.to, CalculationType::confirmed);
      values.revenue = sumOfAmounts(values.revenue, edgeRevenue);
    }
    if (wantsCount) values.sessionCount += static_cast<std::int64_t>(sessions.size());
  }
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
      std::vector<ObjectID> ids;
      for (const auto& row : context.fetchDictionaries(request)) {
        auto it = row.find("task");
        if (it == row.end()) continue;
        if (auto id = it->second.asObjectID()) ids.push_back(*id);
      }
      // Beyond a few tasks, one fetch of the whole tree (which stays registered in the
      // context) is cheaper than loading each task, and then each folder above it, alone.
      if (ids.size() > kTasksLoadedOneByOne) context.fetch(FetchRequest(Node::kEntityName));
      for (const auto& id : ids) {
        if (auto task = std::dynamic_pointer_cast<Task>(dataProvider_->getObject(id))) tasks.insert(std::move(task));
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
