// Filling many chart columns from one range query: the finished entries touching the
// columns' whole span are read once as rows and bucketed here by the same per-column rule
// the column-by-column fill applies in SQL (an entry inside a column counts with its stored
// duration and revenue, one crossing a column's bound with its part inside), so the result
// is the walk's, not the number of queries'.

#include <algorithm>
#include <map>
#include <string>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/reports/ChartColumnBuilder.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/support/Logging.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

// The fields of one row, absent when the store holds none.
struct EntryRow {
  std::optional<ObjectID> task;
  std::optional<Date> begin;
  std::optional<Date> end;
  bool billable = false;
  double rate = 0;
  double duration = 0;  // stored confirmed duration
  double revenue = 0;   // stored confirmed revenue
};

EntryRow readRow(const ResultDictionary& row) {
  // The keys as strings made once: a lookup by C string would build one per field and row,
  // and the two longest do not fit in a string's inline buffer.
  static const std::string kTask = "task", kBegin = "begin", kEnd = "end", kIsBillable = "isBillable",
                           kRate = "hourlyRate", kDuration = "confirmedDuration", kRevenue = "confirmedRevenue";
  const auto value = [&](const std::string& key) -> const Value* {
    auto it = row.find(key);
    return it == row.end() ? nullptr : &it->second;
  };
  EntryRow entry;
  if (const Value* v = value(kTask)) entry.task = v->asObjectID();
  if (const Value* v = value(kBegin)) entry.begin = v->asDate();
  if (const Value* v = value(kEnd)) entry.end = v->asDate();
  if (const Value* v = value(kIsBillable)) entry.billable = v->asBool().value_or(false);
  if (const Value* v = value(kRate)) entry.rate = v->asDouble().value_or(0.0);
  if (const Value* v = value(kDuration)) entry.duration = v->asDouble().value_or(0.0);
  if (const Value* v = value(kRevenue)) entry.revenue = v->asDouble().value_or(0.0);
  return entry;
}

}  // namespace

void TimeEntriesChartDataCalculator::fillColumns(const std::vector<SessionQuery3>& columnQueries,
                                                 const std::vector<std::size_t>& missing, bool filterOutSmallGroups) {
  ObjectContext& context = *dataProvider_->context();
  const std::size_t first = missing.front();
  const std::size_t last = missing.back();
  // Column i spans [bounds[i], bounds[i + 1]): the columns tile the period.
  std::vector<Date> bounds;
  for (std::size_t i = first; i <= last; ++i) bounds.push_back(*columnQueries[i].from);
  bounds.push_back(*columnQueries[last].to);
  SessionQuery3 span = columnQueries[first];
  span.to = bounds.back();

  // One task's sums in one column while the rows stream by; tasks are looked up after.
  struct Sums {
    double duration = 0;
    std::int64_t cents = 0;
    std::int64_t count = 0;
  };
  std::vector<std::map<ObjectID, Sums>> sums(last - first + 1);

  context.performAndWait([&] {
    try {
      FetchRequest request(Session::kEntityName);
      request.resultType = FetchResultType::dictionary;
      request.predicate = span.predicate(EdgeSessionPredicateOption::withEdgeSessions, false);
      request.propertiesToFetch = {std::string("task"),       std::string("begin"),
                                   std::string("end"),        std::string("isBillable"),
                                   std::string("hourlyRate"), std::string("confirmedDuration"),
                                   std::string("confirmedRevenue")};
      // Rows one at a time: a year of them at once would hold hundreds of megabytes.
      context.enumerateDictionaries(request, [&](const ResultDictionary& row) {
        const EntryRow entry = readRow(row);
        if (!entry.task || !entry.end || !entry.begin) {
          // No task: not charted; no end: not confirmed; no begin: in no column's range.
          return;
        }
        // From the column the entry begins in (the first when it begins earlier) while a
        // column starts before its end.
        const auto at = std::upper_bound(bounds.begin(), bounds.end(), *entry.begin);
        std::size_t c = at == bounds.begin() ? 0 : static_cast<std::size_t>(at - bounds.begin() - 1);
        for (; c + 1 < bounds.size() && bounds[c] < *entry.end; ++c) {
          const Date b = *entry.begin;
          const Date e = *entry.end;
          const Date f = bounds[c];
          const Date t = bounds[c + 1];
          const bool inside = b >= f && b < t && e > f && e <= t;
          const bool crossing = (b < f && e > f) || (b < t && e > t);
          if (!inside && !crossing) continue;
          Sums& sum = sums[c][*entry.task];
          sum.count += 1;
          if (inside) {
            sum.duration += entry.duration;
            if (entry.billable) sum.cents += centsOf(entry.revenue);
          } else {
            const double seconds = ChartColumnBuilder::clippedSeconds(b, e, f, t);
            sum.duration += seconds;
            if (entry.billable) sum.cents += revenueCents(seconds, entry.rate);
          }
        }
      });
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching the entries of the chart", error);
      return;  // nothing cached: the columns are filled one by one
    }
    ChartColumnBuilder::TaskCache tasks;
    const std::string small = filterOutSmallGroups ? "true" : "false";
    for (const std::size_t i : missing) {
      ChartColumnBuilder builder(*dataProvider_, tasks);
      for (const auto& [taskId, sum] : sums[i - first]) {
        ChartColumnBuilder::Part* part = builder.part(taskId);
        if (part == nullptr) continue;
        part->segment.duration += sum.duration;
        part->segment.sessionCount += sum.count;
        part->cents += sum.cents;
      }
      SessionColumnData column(*columnQueries[i].from);
      builder.finish(column, filterOutSmallGroups);
      chartDataCache_.insert_or_assign(columnQueries[i].hashKey() + "-" + small, std::move(column));
    }
  });
}

}  // namespace chronelle
