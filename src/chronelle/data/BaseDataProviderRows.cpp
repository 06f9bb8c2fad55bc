// Time entries read as rows: an export of a year reads tens of thousands of entries, and making
// each an object and reading its values back by key cost more than SQLite's own work.

#include <utility>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/FetchCasting.h"
#include "chronelle/data/TimeEntryRow.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

// The row's keys, made once: a lookup by C string would build a string per field and row.
struct RowKeys {
  std::string identifier = "identifier", task = "task", begin = "begin", end = "end", isBillable = "isBillable",
              hourlyRate = "hourlyRate", confirmedRevenue = "confirmedRevenue",
              billingStatusValue = "billingStatusValue", notes = "notes", autotracked = "autotracked";
};

// The row of a saved entry as Session's getters and derived values read the same fields
// (an absent number or flag reads as 0 or false), with `now` for a running entry.
TimeEntryRow rowOf(const ResultDictionary& fields, const RowKeys& keys, Date now) {
  const auto value = [&](const std::string& key) -> const Value* {
    const auto found = fields.find(key);
    return found == fields.end() ? nullptr : &found->second;
  };
  TimeEntryRow row;
  if (const Value* v = value(keys.identifier)) row.identifier = v->asString();
  if (const Value* v = value(keys.task)) row.task = v->asObjectID();
  if (const Value* v = value(keys.begin)) row.begin = v->asDate();
  if (const Value* v = value(keys.end)) row.end = v->asDate();
  if (const Value* v = value(keys.isBillable)) row.isBillable = v->asBool().value_or(false);
  if (const Value* v = value(keys.hourlyRate)) row.hourlyRate = v->asDouble().value_or(0.0);
  if (const Value* v = value(keys.billingStatusValue)) {
    row.billingStatus = BillingStatus::fromRaw(static_cast<int>(v->asInteger().value_or(0))).value_or(BillingStatus::unbilled);
  }
  if (const Value* v = value(keys.notes)) row.notes = v->asString();
  if (const Value* v = value(keys.autotracked)) row.autotracked = v->asBool().value_or(false);
  if (row.begin) row.effectiveDuration = ChronelleDateUtils::effectiveDuration(*row.begin, row.end.value_or(now));
  if (row.isBillable) {
    const Value* confirmed = row.end ? value(keys.confirmedRevenue) : nullptr;
    row.effectiveRevenue = row.end ? (confirmed ? confirmed->asDouble().value_or(0.0) : 0.0)
                                   : revenueAmount(row.effectiveDuration, row.hourlyRate);
  }
  return row;
}

}  // namespace

TimeEntryRow TimeEntryRow::of(const Session& entry) {
  TimeEntryRow row;
  row.identifier = entry.identifier();
  if (const auto task = entry.task()) row.task = task->objectID();
  row.begin = entry.begin();
  row.end = entry.end();
  row.effectiveDuration = entry.effectiveDuration();
  row.isBillable = entry.isBillable();
  row.hourlyRate = entry.hourlyRate();
  row.effectiveRevenue = entry.effectiveRevenue();
  row.billingStatus = entry.billingStatus();
  row.notes = entry.notes();
  row.autotracked = entry.autotracked();
  return row;
}

bool BaseDataProvider::enumerateSessionRows(const std::optional<SessionQuery3>& query,
                                            const std::function<void(const TimeEntryRow&)>& visit) const {
  bool read = true;
  performRead(
      [&] {
        FetchRequest objects(Session::kEntityName);
        if (query) objects.predicate = query->predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
        objects.sortDescriptors = {{"begin", true}};
        // Rows are saved data only; with unsaved changes only the objects say what getSessions would.
        if (context_->hasChanges()) {
          for (const auto& entry : objectsOfClass<Session>(context_->fetch(objects))) visit(TimeEntryRow::of(*entry));
          return;
        }
        // Running entries (few) and finished ones are read apart and merged by begin: together,
        // SQLite must gather both from two indexes and sort the period's rows; finished alone,
        // they come from one range of the begin index already in order.
        static const RowKeys keys;
        const auto rowsWhere = [&](const char* endCondition) {
          FetchRequest rows = objects;
          rows.resultType = FetchResultType::dictionary;
          const Predicate kind = Predicate::parse(endCondition);
          rows.predicate = objects.predicate ? Predicate::allOf({*objects.predicate, kind}) : kind;
          rows.propertiesToFetch = {keys.identifier, keys.task,       keys.begin,
                                    keys.end,        keys.isBillable, keys.hourlyRate,
                                    keys.confirmedRevenue, keys.billingStatusValue, keys.notes,
                                    keys.autotracked};
          return rows;
        };
        // Entries that share a begin come in the order they were stored, which a row does not
        // tell. So each row waits for the next; from the first pair with one begin on, rows are
        // held, and each such group is read again as objects afterwards (a row's callback may
        // not use the context), in the object fetch's order.
        const Date now = Clock::now();
        std::optional<TimeEntryRow> waiting;
        std::vector<TimeEntryRow> held;
        const auto take = [&](TimeEntryRow&& row) {
          if (waiting && waiting->begin == row.begin) held.push_back(*std::exchange(waiting, std::nullopt));
          if (!held.empty()) {
            held.push_back(std::move(row));
            return;
          }
          if (waiting) visit(*waiting);
          waiting = std::move(row);
        };
        std::vector<TimeEntryRow> running;
        context_->enumerateDictionaries(rowsWhere("end == nil"), [&](const ResultDictionary& fields) {
          running.push_back(rowOf(fields, keys, now));
        });
        auto nextRunning = running.begin();
        context_->enumerateDictionaries(rowsWhere("end != nil"), [&](const ResultDictionary& fields) {
          TimeEntryRow row = rowOf(fields, keys, now);
          for (; nextRunning != running.end() && nextRunning->begin <= row.begin; ++nextRunning) take(std::move(*nextRunning));
          take(std::move(row));
        });
        for (; nextRunning != running.end(); ++nextRunning) take(std::move(*nextRunning));
        if (waiting) visit(*waiting);
        for (std::size_t first = 0; first < held.size();) {
          std::size_t next = first + 1;
          while (next < held.size() && held[next].begin == held[first].begin) ++next;
          if (next - first == 1) {
            visit(held[first]);
          } else {
            const std::optional<Date> begin = held[first].begin;
            Predicate sameBegin = begin ? Predicate::parse("begin == %@", {Value(*begin)}) : Predicate::parse("begin == nil");
            FetchRequest group = objects;
            group.predicate = objects.predicate ? Predicate::allOf({*objects.predicate, sameBegin}) : sameBegin;
            for (const auto& entry : objectsOfClass<Session>(context_->fetch(group))) visit(TimeEntryRow::of(*entry));
          }
          first = next;
        }
      },
      [&](const std::exception& e) {
        read = false;
        handleContextError(e, "Error on getting time entries");
      });
  return read;
}

}  // namespace chronelle
