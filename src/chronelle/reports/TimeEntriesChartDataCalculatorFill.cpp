// Filling one chart column from the store.

#include <algorithm>
#include <map>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ChartColumnBuilder.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/Logging.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

constexpr const char* kTask = "task";
constexpr const char* kIsBillable = "isBillable";
constexpr const char* kDuration = "totalConfirmedDuration";
constexpr const char* kRevenue = "totalConfirmedRevenue";
constexpr const char* kCount = "count";

const Value* field(const ResultDictionary& row, const char* key) {
  auto it = row.find(key);
  return it == row.end() ? nullptr : &it->second;
}

// Adds the part inside the column of every finished entry `edges` selects, read as rows, to
// its task's part. The same numbers as Session::effectiveDuration and effectiveRevenue of
// the entries as objects.
void addEdgeRows(ObjectContext& context, const FetchRequest& edges, const SessionQuery3& query,
                 ChartColumnBuilder& builder) {
  FetchRequest rows(edges.entityName);
  rows.resultType = FetchResultType::dictionary;
  rows.predicate = edges.predicate;
  rows.propertiesToFetch = {std::string("task"), std::string("begin"), std::string("end"), std::string(kIsBillable),
                            std::string("hourlyRate")};
  for (const auto& row : context.fetchDictionaries(rows)) {
    const auto taskId = field(row, "task") ? field(row, "task")->asObjectID() : std::nullopt;
    const auto begin = field(row, "begin") ? field(row, "begin")->asDate() : std::nullopt;
    const auto end = field(row, "end") ? field(row, "end")->asDate() : std::nullopt;
    if (!taskId || !end) continue;  // no task: not charted; no end: running, not confirmed
    ChartColumnBuilder::Part* part = builder.part(*taskId);
    if (part == nullptr) continue;
    part->sessionCount += 1;
    if (!begin) continue;  // counted, but nothing to measure
    const double seconds = ChartColumnBuilder::clippedSeconds(*begin, *end, query.from, query.to);
    part->duration += seconds;
    const bool billable = field(row, kIsBillable) && field(row, kIsBillable)->asBool().value_or(false);
    const double rate = field(row, "hourlyRate") ? field(row, "hourlyRate")->asDouble().value_or(0.0) : 0.0;
    if (billable) part->cents += revenueCents(seconds, rate);
  }
}

}  // namespace

void TimeEntriesChartDataCalculator::fillColumn(SessionColumnData& column, const SessionQuery3& query,
                                                bool filterOutSmallGroups) {
  ObjectContext& context = *dataProvider_->context();
  context.performAndWait([&] {
    ChartColumnBuilder::TaskCache tasks;
    ChartColumnBuilder builder(*dataProvider_, tasks);
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
        const ObjectID* taskId = field(row, kTask) ? field(row, kTask)->getIf<ObjectID>() : nullptr;
        const double* duration = field(row, kDuration) ? field(row, kDuration)->getIf<double>() : nullptr;
        const double* revenue = field(row, kRevenue) ? field(row, kRevenue)->getIf<double>() : nullptr;
        const std::int64_t* count = field(row, kCount) ? field(row, kCount)->getIf<std::int64_t>() : nullptr;
        if (!taskId || !duration || !revenue || !count) continue;
        ChartColumnBuilder::Part* part = builder.part(*taskId);
        if (part == nullptr) continue;
        const bool billable = field(row, kIsBillable) && field(row, kIsBillable)->asBool().value_or(false);
        part->duration += *duration;
        // Stored amounts are whole cents; their sum, off by far less than a cent, rounds back.
        if (billable) part->cents += centsOf(*revenue);
        part->sessionCount += *count;
      }

      // Entries crossing a bound of the column count with their part inside it.
      FetchRequest edges(Session::kEntityName);
      edges.predicate = query.predicate(EdgeSessionPredicateOption::edgeSessionsOnly, false);
      if (!context.hasChanges() && !context.parent()) {
        // Nothing unsaved can differ from the rows, so the entries are read as values: as
        // objects they would stay registered in the context for its life.
        addEdgeRows(context, edges, query, builder);
      } else {
        for (const auto& object : context.fetch(edges)) {
          auto session = std::dynamic_pointer_cast<Session>(object);
          auto task = session ? session->task() : nullptr;
          if (!task) continue;
          ChartColumnBuilder::Part& part = builder.part(task);
          part.sessionCount += 1;
          if (!session->end()) continue;
          const auto begin = session->begin();
          const double seconds =
              begin ? ChartColumnBuilder::clippedSeconds(*begin, *session->end(), query.from, query.to) : 0.0;
          part.duration += seconds;
          if (session->isBillable()) part.cents += centsOf(session->effectiveRevenue(query.from, query.to));
        }
      }
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching sum duration and revenue", error);
      return;
    }
    builder.finish(column, filterOutSmallGroups);
  });
}

}  // namespace chronelle
