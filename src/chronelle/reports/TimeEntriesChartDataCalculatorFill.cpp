// Filling one chart column from the store.

#include <algorithm>
#include <map>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ReportMoney.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

constexpr const char* kTask = "task";
constexpr const char* kIsBillable = "isBillable";
constexpr const char* kDuration = "totalConfirmedDuration";
constexpr const char* kRevenue = "totalConfirmedRevenue";
constexpr const char* kCount = "count";

// One task's segment while the column is being filled, in the order tasks were met.
struct TaskSegment {
  std::shared_ptr<Task> task;
  SessionColumnSegment segment;
};

// Adds the part inside the column of every finished entry `edges` selects, read as rows, to
// the segment of its task (`segmentOf`: null for an identifier that is not a task). The same
// numbers as ReportCalculator's confirmed sums over the entries as objects.
template <class SegmentOf>
void addEdgeRows(ObjectContext& context, const FetchRequest& edges, const SessionQuery3& query, SegmentOf segmentOf) {
  FetchRequest rows(edges.entityName);
  rows.resultType = FetchResultType::dictionary;
  rows.predicate = edges.predicate;
  rows.propertiesToFetch = {std::string("task"), std::string("begin"), std::string("end"), std::string(kIsBillable),
                            std::string("hourlyRate")};
  for (const auto& row : context.fetchDictionaries(rows)) {
    const auto value = [&](const char* key) -> const Value* {
      auto it = row.find(key);
      return it == row.end() ? nullptr : &it->second;
    };
    const auto taskId = value("task") ? value("task")->asObjectID() : std::nullopt;
    const auto begin = value("begin") ? value("begin")->asDate() : std::nullopt;
    const auto end = value("end") ? value("end")->asDate() : std::nullopt;
    if (!taskId || !end) continue;  // no task: not charted; no end: running, not confirmed
    SessionColumnSegment* segment = segmentOf(*taskId);
    if (segment == nullptr) continue;
    segment->sessionCount += 1;
    if (!begin) continue;  // counted, but nothing to measure
    // Clipped as Session::effectiveDuration(from, to) clips.
    Date b = *begin;
    Date e = *end;
    double seconds = 0;
    if (!query.from || *query.from < e) {
      if (query.from && b < *query.from) b = *query.from;
      if (!query.to || b < *query.to) {
        if (query.to && e > *query.to) e = *query.to;
        seconds = ChronelleDateUtils::effectiveDuration(b, e);
      }
    }
    segment->duration += seconds;
    const bool billable = value(kIsBillable) && value(kIsBillable)->asBool().value_or(false);
    const double rate = value("hourlyRate") ? value("hourlyRate")->asDouble().value_or(0.0) : 0.0;
    if (billable) segment->revenue += revenueOf(seconds, rate);
  }
}

}  // namespace

void TimeEntriesChartDataCalculator::fillColumn(SessionColumnData& column, const SessionQuery3& query,
                                                bool filterOutSmallGroups) {
  ObjectContext& context = *dataProvider_->context();
  context.performAndWait([&] {
    std::vector<TaskSegment> segments;
    std::map<ObjectID, std::size_t> segmentIndex;
    std::map<ObjectID, std::shared_ptr<Task>> tasks;  // tasks looked up during this column
    const auto segmentFor = [&](const std::shared_ptr<Task>& task) -> SessionColumnSegment& {
      auto [it, inserted] = segmentIndex.emplace(task->objectID(), segments.size());
      if (inserted) segments.push_back(TaskSegment{task, SessionColumnSegment(*task)});
      return segments[it->second].segment;
    };
    try {
      // Finished entries wholly inside the column, summed per task by the store. Grouping by
      // the billable flag too keeps the money of non-billable entries out, as in totals.
      FetchRequest grouped(Session::kEntityName);
      grouped.resultType = FetchResultType::dictionary;
      grouped.predicate = query.predicate(EdgeSessionPredicateOption::withoutEdgeSessions, false);
      grouped.propertiesToFetch = {std::string(kTask), std::string(kIsBillable),
                                   ExpressionDescription{kDuration, "sum:", "confirmedDuration", AttributeType::doubleType},
                                   ExpressionDescription{kRevenue, "sum:", "confirmedRevenue", AttributeType::doubleType},
                                   ExpressionDescription{kCount, "count:", "begin", AttributeType::integer64}};
      grouped.propertiesToGroupBy = {kTask, kIsBillable};
      for (const auto& row : context.fetchDictionaries(grouped)) {
        const auto value = [&](const char* key) -> const Value* {
          auto it = row.find(key);
          return it == row.end() ? nullptr : &it->second;
        };
        const ObjectID* taskId = value(kTask) ? value(kTask)->getIf<ObjectID>() : nullptr;
        const double* duration = value(kDuration) ? value(kDuration)->getIf<double>() : nullptr;
        const double* revenue = value(kRevenue) ? value(kRevenue)->getIf<double>() : nullptr;
        const std::int64_t* count = value(kCount) ? value(kCount)->getIf<std::int64_t>() : nullptr;
        if (!taskId || !duration || !revenue || !count) continue;
        const bool billable = value(kIsBillable) && value(kIsBillable)->asBool().value_or(false);
        auto known = tasks.find(*taskId);
        if (known == tasks.end()) {
          auto task = std::dynamic_pointer_cast<Task>(dataProvider_->getObject(*taskId));
          if (!task) continue;
          known = tasks.emplace(*taskId, std::move(task)).first;
        }
        SessionColumnSegment& segment = segmentFor(known->second);
        segment.duration += *duration;
        if (billable) segment.revenue += *revenue;
        segment.sessionCount += *count;
      }

      // Entries crossing a bound of the column count with their part inside it.
      FetchRequest edges(Session::kEntityName);
      if (!lengthBound_) lengthBound_.emplace(context);
      edges.predicate = lengthBound_->narrowEdges(
          query.predicate(EdgeSessionPredicateOption::edgeSessionsOnly, false), query);
      if (!context.hasChanges() && !context.parent()) {
        // Nothing unsaved can differ from the rows, so the entries are read as values: as
        // objects they would stay registered in the context for its life, thousands of them
        // over a year of daily columns.
        addEdgeRows(context, edges, query, [&](const ObjectID& taskId) -> SessionColumnSegment* {
          auto known = tasks.find(taskId);
          if (known == tasks.end()) {
            auto task = std::dynamic_pointer_cast<Task>(dataProvider_->getObject(taskId));
            if (!task) return nullptr;
            known = tasks.emplace(taskId, std::move(task)).first;
          }
          return &segmentFor(known->second);
        });
      } else {
      std::vector<std::pair<std::shared_ptr<Task>, std::vector<std::shared_ptr<Session>>>> byTask;
      for (const auto& object : context.fetch(edges)) {
        auto session = std::dynamic_pointer_cast<Session>(object);
        auto task = session ? session->task() : nullptr;
        if (!task) continue;
        auto group = std::find_if(byTask.begin(), byTask.end(),
                                  [&](const auto& entry) { return isSameObject(entry.first.get(), task.get()); });
        if (group == byTask.end()) group = byTask.insert(byTask.end(), {task, {}});
        group->second.push_back(std::move(session));
      }
      for (const auto& [task, sessions] : byTask) {
        SessionColumnSegment& segment = segmentFor(task);
        segment.duration += ReportCalculator::totalConfirmedDuration(sessions, query.from, query.to);
        segment.revenue += ReportCalculator::totalConfirmedRevenue(sessions, query.from, query.to);
        segment.sessionCount += static_cast<std::int64_t>(sessions.size());
      }
      }
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching sum duration and revenue", error);
      return;
    }

    // Tree order: a folder's tasks stay together.
    std::vector<std::pair<std::string, std::size_t>> order;
    order.reserve(segments.size());
    for (std::size_t i = 0; i < segments.size(); ++i) order.emplace_back(segments[i].task->hierarchyKey(), i);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // A year of daily columns over a few hundred tasks is tens of thousands of segments,
    // kept twice (the cache and the result): sized exactly, not by doubling.
    const auto shown = [&](const SessionColumnSegment& segment) {
      return !(filterOutSmallGroups && segment.duration <= 60);
    };
    column.segments.reserve(column.segments.size() +
                            static_cast<std::size_t>(std::count_if(segments.begin(), segments.end(),
                                                                   [&](const auto& s) { return shown(s.segment); })));
    for (const auto& [key, index] : order) {
      if (shown(segments[index].segment)) column.segments.push_back(std::move(segments[index].segment));
    }
    column.calculateSessionCount();
  });
}

}  // namespace chronelle
