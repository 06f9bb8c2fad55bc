// Filling many chart columns from one range query: the finished entries touching the
// columns' whole span are read once as rows and bucketed here by the same per-column rule
// the column-by-column fill applies in SQL (an entry inside a column counts with its stored
// duration and revenue, one crossing a column's bound with its part inside), so the result
// is the walk's, not the number of queries'.

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/reports/ChartColumnBuilder.h"
#include "chronelle/reports/TimeEntriesChartDataCalculator.h"
#include "chronelle/store/FetchedNumericRow.h"
#include "chronelle/support/Logging.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

// The columns of the row fetch, in this order.
enum Field : std::size_t { kTask, kBegin, kEnd, kIsBillable, kRate, kDuration, kRevenue };

// One task's sums in one column while the rows stream by.
struct Cell {
  std::size_t task = 0;  // index into Buckets::tasks
  double duration = 0;
  std::int64_t cents = 0;
  std::int64_t count = 0;
};

// The cells of every column, and the tasks met, by row key. Rows come by begin from the
// index, so an entry's task is usually new in its column or was last met there: each task
// remembers its latest cell, and only a task met again in a column before the latest it
// reached (after an entry crossing into the next) looks through the column's cells.
class Buckets {
 public:
  struct Task {
    ObjectID id;
    std::size_t column = 0;   // of the remembered cell
    std::size_t cell = 0;
    std::size_t highest = 0;  // one past the latest column with a cell of the task; 0: none
  };

  explicit Buckets(std::size_t columns) : columns_(columns) {}

  // The index of the task with row key `key`; `id` makes its ObjectID when it is new.
  template <class MakeID>
  std::size_t task(std::int64_t key, const MakeID& id) {
    // Keys are primary keys, numbered from 1 by the store: small ones index a table directly
    // (a hash look-up per row costs more than the rest of the bucketing).
    std::size_t* slot = nullptr;
    if (key > 0 && key < kDirectKeys) {
      const auto at = static_cast<std::size_t>(key);
      if (at >= direct_.size()) direct_.resize(std::max(at + 1, 2 * direct_.size()), kNone);
      slot = &direct_[at];
    } else {
      slot = &byKey_.try_emplace(key, kNone).first->second;
    }
    if (*slot == kNone) {
      *slot = tasks_.size();
      tasks_.push_back(Task{id()});
    }
    return *slot;
  }

  Cell& cell(std::size_t column, std::size_t task) {
    Task& known = tasks_[task];
    if (known.highest == 0 || known.column != column) {
      std::vector<Cell>& cells = columns_[column];
      std::size_t at = cells.size();
      if (column < known.highest) {
        at = static_cast<std::size_t>(
            std::find_if(cells.begin(), cells.end(), [&](const Cell& c) { return c.task == task; }) - cells.begin());
      }
      if (at == cells.size()) {
        // A column holds about as many tasks as the one before: mostly one allocation each.
        if (cells.empty()) cells.reserve(std::max<std::size_t>(lastWidth_, 8));
        cells.push_back(Cell{task});
        lastWidth_ = cells.size();
      }
      known.column = column;
      known.cell = at;
      known.highest = std::max(known.highest, column + 1);
    }
    return columns_[column][known.cell];
  }

  const std::vector<Task>& tasks() const { return tasks_; }
  std::vector<Cell>& column(std::size_t i) { return columns_[i]; }

 private:
  static constexpr std::int64_t kDirectKeys = 1 << 14;
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::vector<std::vector<Cell>> columns_;
  std::vector<Task> tasks_;
  std::vector<std::size_t> direct_;                      // task index by small key
  std::unordered_map<std::int64_t, std::size_t> byKey_;  // by any other key
  std::size_t lastWidth_ = 0;
};

// The finished entries of `span`'s other filters that begin before its end and end after its
// start: every entry some column counts (one inside a column or crossing its bounds does
// both for that column). The query's own period predicate, three ranges OR-ed, also admits
// entries stored backwards or of no length at a bound, which no column counts; one range is
// what SQLite then tests per row.
Predicate spanPredicate(const SessionQuery3& span) {
  SessionQuery3 others = span;
  others.from.reset();
  others.to.reset();
  // Without a period the query's predicate still excludes the running entry.
  const PredicateSpec rest = others.predicateSpec(EdgeSessionPredicateOption::withEdgeSessions, false, Clock::now())
                                 .value_or(PredicateSpec{"(end != nil)", {}});
  PredicateSpec spec{"begin < %@ AND end > %@ AND " + rest.format, {Value(*span.to), Value(*span.from)}};
  spec.arguments.insert(spec.arguments.end(), rest.arguments.begin(), rest.arguments.end());
  return spec.toPredicate();
}

}  // namespace

void TimeEntriesChartDataCalculator::fillColumns(const std::vector<SessionQuery3>& columnQueries,
                                                 const std::vector<std::string>& keys,
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
  Buckets buckets(last - first + 1);
  std::size_t beginColumn = 0;  // the column the last row began in

  context.performAndWait([&] {
    try {
      FetchRequest request(Session::kEntityName);
      request.resultType = FetchResultType::dictionary;
      request.predicate = spanPredicate(span);
      request.propertiesToFetch = {std::string("task"),       std::string("begin"),
                                   std::string("end"),        std::string("isBillable"),
                                   std::string("hourlyRate"), std::string("confirmedDuration"),
                                   std::string("confirmedRevenue")};
      // Rows one at a time as numbers, each read once: a year of them at once would hold
      // hundreds of megabytes, and a dictionary per row, or a value's type asked before the
      // value, costs more than the bucketing.
      FetchedNumericRow::enumerate(context, request, [&](const FetchedNumericRow& row) {
        // No task: not charted; no end: not confirmed; no begin: in no column's range.
        if (row.isNull(kTask) || row.isNull(kEnd) || row.isNull(kBegin)) return;
        const std::size_t task = buckets.task(row.integer(kTask), [&] { return *row.objectID(kTask); });
        const Date b = Date::fromMicroseconds(row.integer(kBegin));
        const Date e = Date::fromMicroseconds(row.integer(kEnd));
        // From the column the entry begins in (the first when it begins earlier) while a
        // column starts before its end. Rows come by begin from its index, so that column is
        // mostly the last row's or the next; any other is searched for.
        std::size_t c = beginColumn;
        if (!(bounds[c] <= b && b < bounds[c + 1])) {
          if (c + 2 < bounds.size() && bounds[c + 1] <= b && b < bounds[c + 2]) {
            ++c;
          } else {
            const auto at = std::upper_bound(bounds.begin(), bounds.end(), b);
            c = at == bounds.begin() ? 0 : std::min(static_cast<std::size_t>(at - bounds.begin() - 1), bounds.size() - 2);
          }
          beginColumn = c;
        }
        for (; c + 1 < bounds.size() && bounds[c] < e; ++c) {
          const Date f = bounds[c];
          const Date t = bounds[c + 1];
          const bool inside = b >= f && b < t && e > f && e <= t;
          const bool crossing = (b < f && e > f) || (b < t && e > t);
          if (!inside && !crossing) continue;
          Cell& cell = buckets.cell(c, task);
          cell.count += 1;
          // Absent numbers read as 0: not billable, nothing stored.
          const bool billable = row.integer(kIsBillable) != 0;
          if (inside) {
            cell.duration += row.real(kDuration);
            if (billable) cell.cents += centsOf(row.real(kRevenue));
          } else {
            const double seconds = ChartColumnBuilder::clippedSeconds(b, e, f, t);
            cell.duration += seconds;
            if (billable) cell.cents += revenueCents(seconds, row.real(kRate));
          }
        }
      });
    } catch (const std::exception& error) {
      logError(log_, "Error on fetching the entries of the chart", error);
      return;  // nothing cached: the columns are filled one by one
    }
    // Each task looked up once, and ranked once in tree order, so a column's segments are
    // ordered by comparing numbers.
    ChartColumnBuilder::TaskCache taskCache;
    ChartColumnBuilder lookup(*dataProvider_, taskCache);
    const auto& tasks = buckets.tasks();
    std::vector<const ChartColumnBuilder::TaskInfo*> infos(tasks.size());
    std::vector<std::size_t> byTree(tasks.size());
    for (std::size_t i = 0; i < tasks.size(); ++i) {
      infos[i] = lookup.taskInfo(tasks[i].id);
      byTree[i] = i;
    }
    // Ties (never two tasks at one place in the tree) would keep the order of the IDs.
    std::sort(byTree.begin(), byTree.end(), [&](std::size_t a, std::size_t b) {
      const std::string* ka = infos[a] ? &infos[a]->treeKey : nullptr;
      const std::string* kb = infos[b] ? &infos[b]->treeKey : nullptr;
      if (ka && kb && *ka != *kb) return *ka < *kb;
      if (!ka != !kb) return kb == nullptr;
      return tasks[a].id < tasks[b].id;
    });
    std::vector<std::size_t> rank(tasks.size());
    for (std::size_t r = 0; r < byTree.size(); ++r) rank[byTree[r]] = r;
    for (const std::size_t i : missing) {
      std::vector<Cell>& cells = buckets.column(i - first);
      std::sort(cells.begin(), cells.end(), [&](const Cell& a, const Cell& b) { return rank[a.task] < rank[b.task]; });
      ChartColumnBuilder builder(*dataProvider_, taskCache);
      builder.reserve(cells.size());
      for (const Cell& cell : cells) {
        if (infos[cell.task] == nullptr) continue;  // the row named no task
        ChartColumnBuilder::Part& part = builder.addPart(*infos[cell.task]);
        part.duration = cell.duration;
        part.sessionCount = cell.count;
        part.cents = cell.cents;
      }
      SessionColumnData column(*columnQueries[i].from);
      builder.finish(column, filterOutSmallGroups, true);  // the cells were sorted by rank
      chartDataCache_.insert_or_assign(keys[i], std::move(column));
    }
  });
}

}  // namespace chronelle
