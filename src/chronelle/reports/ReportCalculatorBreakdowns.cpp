// Breakdowns of a period by billing state and by node, and the tracked tasks they rest on.

#include <algorithm>
#include <map>
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

// The distinct tasks of the entries `predicate` selects, as stored.
std::vector<ObjectID> taskIdsOf(ObjectContext& context, const std::optional<Predicate>& predicate) {
  FetchRequest request(Session::kEntityName);
  request.resultType = FetchResultType::dictionary;
  request.predicate = predicate;
  request.propertiesToFetch.emplace_back(std::string("task"));
  request.returnsDistinctResults = true;
  std::vector<ObjectID> ids;
  context.enumerateDictionaries(request, [&](const ResultDictionary& row) {
    auto it = row.find("task");
    if (it == row.end()) return;
    if (auto id = it->second.asObjectID()) ids.push_back(*id);
  });
  return ids;
}

// The tasks of `ids` (others left out), with the folders above them loaded.
TaskSet tasksWithIds(BaseDataProvider& provider, const std::vector<ObjectID>& ids) {
  ObjectContext& context = *provider.context();
  // Beyond a few tasks, one fetch of the whole tree (which stays registered in the
  // context) is cheaper than loading each task, and then each folder above it, alone;
  // once an earlier report has registered them, it is not needed at all.
  const bool registered = std::all_of(ids.begin(), ids.end(), [&](const ObjectID& id) {
    const auto object = context.registeredObject(id);
    return object && object->faultingState() == 0;
  });
  if (ids.size() > kTasksLoadedOneByOne && !registered) context.fetch(FetchRequest(Node::kEntityName));
  TaskSet tasks;
  for (const auto& id : ids) {
    if (auto task = std::dynamic_pointer_cast<Task>(provider.getObject(id))) tasks.insert(std::move(task));
  }
  return tasks;
}

bool isZero(const TotalValues& values) {
  return values.duration == 0 && values.revenue == 0 && values.sessionCount == 0;
}

}  // namespace

BillingBreakdown ReportCalculator::calculateBillingBreakdown(const SessionQuery3& query,
                                                             TotalValueTypeOptionSet valueTypes) const {
  // Each state is cached under the key of the query of that state alone; when any is
  // missing, all four are computed together, in one pass over the period.
  const std::vector<Billing> states = {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid};
  const auto keyOf = [&](Billing state) {
    SessionQuery3 single = query;
    single.billingStatus = std::set<Billing>{state};
    return cacheKey(single, valueTypes);
  };
  BillingBreakdown breakdown;
  bool cached = cacheProvider_ != nullptr;
  for (const Billing state : states) {
    if (!cached) break;
    const auto value = cacheProvider_->breakdownCacheValue(keyOf(state));
    if (value) breakdown.totalValues(state) = *value;
    cached = value.has_value();
  }
  if (!cached) {
    dataProvider_->context()->performAndWait([&] { breakdown = computeTotalsByBillingState(query, valueTypes); });
    if (cacheProvider_) {
      for (const Billing state : states) cacheProvider_->setValueToBreakdownCache(breakdown.totalValues(state), keyOf(state));
    }
  }
  // Non-billable entries may still carry a stored revenue from an earlier rate; it is not
  // money the user earned.
  breakdown.nonBillable.revenue = 0;
  return breakdown;
}

ReportCalculator::NodeBreakdown ReportCalculator::calculateNodeBreakdown(const SessionQuery3& query,
                                                                         TotalValueTypeOptionSet valueTypes) const {
  NodeBreakdown result;
  ObjectContext& context = *dataProvider_->context();
  context.performAndWait([&] {
    std::optional<NodeBreakdown> grouped;
    TaskSet tasks;
    if (query.from && query.to && *query.from < *query.to && !context.hasChanges()) {
      // The grouped sums name every task with an entry inside the period or crossing a
      // bound; what they leave out of the tracked tasks are running entries and entries
      // whose end does not follow their begin (stored backwards, or of no length at the
      // period's start). Those few are looked up apart, through the index of entry lengths,
      // instead of reading the period's entries a second time.
      try {
        std::optional<TotalValues> overall;
        grouped = computeTotalsByTask(query, valueTypes, cacheProvider_ ? &overall : nullptr);
        // The query's own totals come with the groups: a report asking for them next (as
        // the breakdown operation does) finds them in the cache instead of reading the
        // period's entries again.
        if (overall) {
          const std::string key = cacheKey(query, valueTypes);
          if (!cacheProvider_->breakdownCacheValue(key))
            cacheProvider_->setValueToBreakdownCache(*overall, key);
        }
        const auto period = query.predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
        std::vector<ObjectID> ids = taskIdsOf(
            context, Predicate::allOf({*period, Predicate::parse("end == nil OR end <= begin")}));
        for (const auto& [id, values] : *grouped) ids.push_back(id);
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        tasks = tasksWithIds(*dataProvider_, ids);
      } catch (const std::exception& error) {
        logError(log_, "Error on fetching tracked tasks", error);
      }
    } else {
      tasks = trackedTasks(query);
    }
    const auto keyFor = [&](const Task& task) {
      SessionQuery3 single = query;
      single.taskIds = std::set<ObjectID>{task.objectID()};
      return cacheKey(single, valueTypes);
    };
    // Each task's totals, in the order of `tasks`, for the folders below.
    std::vector<TotalValues> taskValues;
    taskValues.reserve(tasks.size());
    for (const auto& task : tasks) {
      // The key is made only where there is a cache to look it up in.
      const std::string key = cacheProvider_ ? keyFor(*task) : std::string();
      std::optional<TotalValues> values;
      if (cacheProvider_) values = cacheProvider_->breakdownCacheValue(key);
      ObjectID id = task->objectID();
      if (!values) {
        if (!grouped) grouped = computeTotalsByTask(query, valueTypes);
        auto it = grouped->find(id);
        values = it == grouped->end() ? TotalValues::zero : it->second;
        if (cacheProvider_) cacheProvider_->setValueToBreakdownCache(*values, key);
      }
      result.insert_or_assign(std::move(id), *values);
      taskValues.push_back(*values);
    }
    // Folders sum their tracked descendants: each task counts once in every folder above it,
    // and no folder is fetched. Tasks under one folder share the folders above it, which are
    // looked up once.
    std::map<const Node*, std::vector<ObjectID>> foldersAbove;  // by a task's own folder
    auto taskValue = taskValues.begin();
    for (const auto& task : tasks) {
      const TotalValues values = *taskValue++;
      const auto parent = task->parent();
      if (!parent) continue;
      auto [folders, added] = foldersAbove.try_emplace(parent.get());
      if (added) {
        for (const auto& above : task->allParents()) {
          if (std::dynamic_pointer_cast<Folder>(above))
            folders->second.push_back(above->objectID());
        }
      }
      for (const auto& folder : folders->second) result[folder] += values;
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
      const auto predicate = query.predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
      tasks = tasksWithIds(*dataProvider_, taskIdsOf(context, predicate));
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
