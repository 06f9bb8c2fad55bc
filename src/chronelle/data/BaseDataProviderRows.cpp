// Time entries read as rows: an export of a year reads tens of thousands of entries, and making
// each an object and reading its values back by key cost more than SQLite's own work.

#include <array>
#include <utility>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/FetchCasting.h"
#include "chronelle/data/TimeEntryRow.h"
#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/store/FetchedRow.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

// The fields read, in the order requested: a row's columns come in this order.
enum Field : std::size_t {
  kAutotracked,
  kBegin,
  kBillingStatusValue,
  kConfirmedRevenue,
  kEnd,
  kHourlyRate,
  kIdentifier,
  kIsBillable,
  kNotes,
  kTask,
  kFieldCount
};
const std::array<std::string, kFieldCount>& fieldKeys() {
  static const std::array<std::string, kFieldCount> keys = {
      "autotracked", "begin",      "billingStatusValue", "confirmedRevenue",
      "end",         "hourlyRate", "identifier",         "isBillable",
      "notes",       "task"};
  return keys;
}

// The row of a saved entry as Session's getters and derived values read the same fields
// (an absent number or flag reads as 0 or false), with `now` for a running entry.
TimeEntryRow rowOf(const FetchedRow& fields, Date now) {
  TimeEntryRow row;
  row.identifier = fields.value(kIdentifier).asString();
  row.task = fields.objectID(kTask);
  row.begin = fields.date(kBegin);
  row.end = fields.date(kEnd);
  row.isBillable = fields.boolean(kIsBillable).value_or(false);
  row.hourlyRate = fields.real(kHourlyRate).value_or(0.0);
  row.billingStatus =
      BillingStatus::fromRaw(static_cast<int>(fields.integer(kBillingStatusValue).value_or(0)))
          .value_or(BillingStatus::unbilled);
  row.notes = fields.value(kNotes).asString();
  row.autotracked = fields.boolean(kAutotracked).value_or(false);
  if (row.begin)
    row.effectiveDuration =
        ChronelleDateUtils::effectiveDuration(*row.begin, row.end.value_or(now));
  if (row.isBillable) {
    row.effectiveRevenue = row.end ? fields.real(kConfirmedRevenue).value_or(0.0)
                                   : revenueAmount(row.effectiveDuration, row.hourlyRate);
  }
  return row;
}

}  // namespace

bool BaseDataProvider::enumerateSessionRows(
    const std::optional<SessionQuery3>& query,
    const std::function<void(const TimeEntryRow&)>& visit) const {
  bool read = true;
  performRead(
      [&] {
        FetchRequest objects(Session::kEntityName);
        if (query)
          objects.predicate = query->predicate(EdgeSessionPredicateOption::withEdgeSessions, true);
        objects.sortDescriptors = {{"begin", true}};
        // Rows are saved data only; with unsaved changes only the objects say what getSessions
        // would.
        if (context_->hasChanges()) {
          for (const auto& entry : objectsOfClass<Session>(context_->fetch(objects)))
            visit(TimeEntryRow::of(*entry));
          return;
        }
        // Running entries (few) and finished ones are read apart and merged by begin: together,
        // SQLite must gather both from two indexes and sort the period's rows; finished alone,
        // they come from one range of the begin index already in order.
        const auto rowsWhere = [&](const char* endCondition) {
          FetchRequest rows = objects;
          rows.resultType = FetchResultType::dictionary;
          const Predicate kind = Predicate::parse(endCondition);
          rows.predicate = objects.predicate ? Predicate::allOf({*objects.predicate, kind}) : kind;
          rows.propertiesToFetch.assign(fieldKeys().begin(), fieldKeys().end());
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
          if (waiting && waiting->begin == row.begin)
            held.push_back(*std::exchange(waiting, std::nullopt));
          if (!held.empty()) {
            held.push_back(std::move(row));
            return;
          }
          if (waiting) visit(*waiting);
          waiting = std::move(row);
        };
        std::vector<TimeEntryRow> running;
        context_->enumerateRows(rowsWhere("end == nil"), [&](const FetchedRow& fields) {
          running.push_back(rowOf(fields, now));
        });
        auto nextRunning = running.begin();
        context_->enumerateRows(rowsWhere("end != nil"), [&](const FetchedRow& fields) {
          TimeEntryRow row = rowOf(fields, now);
          for (; nextRunning != running.end() && nextRunning->begin <= row.begin; ++nextRunning)
            take(std::move(*nextRunning));
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
            Predicate sameBegin = begin ? Predicate::parse("begin == %@", {Value(*begin)})
                                        : Predicate::parse("begin == nil");
            FetchRequest group = objects;
            group.predicate =
                objects.predicate ? Predicate::allOf({*objects.predicate, sameBegin}) : sameBegin;
            for (const auto& entry : objectsOfClass<Session>(context_->fetch(group)))
              visit(TimeEntryRow::of(*entry));
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
