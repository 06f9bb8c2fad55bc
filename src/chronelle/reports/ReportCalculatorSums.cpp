// Totals of a period, whole or split per task or per billing state. Each is two statements
// whatever the split: the finished entries wholly inside the period summed by the store in
// one grouped statement (the billable flag among the groups gives the revenue in the same
// pass), and the few entries crossing a bound read as plain rows and clipped here. No entry
// becomes an object unless this context holds unsaved changes, which only objects show.

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/reports/ChartColumnBuilder.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/support/Logging.h"
#include "chronelle/support/Money.h"

namespace chronelle {
namespace {

using Billing = SessionQuery3::BillingStatusOption;

// What an entry is grouped by, as stored.
struct EntryKeys {
  std::optional<ObjectID> task;
  std::optional<bool> billable;
  std::optional<std::int64_t> billingStatus;
};

// An entry crossing a bound of the period.
struct EdgeEntry {
  EntryKeys keys;
  std::optional<Date> begin;
  std::optional<Date> end;
  double hourlyRate = 0;
};

const Value* find(const ResultDictionary& row, const char* key) {
  auto it = row.find(key);
  return it == row.end() ? nullptr : &it->second;
}

EntryKeys keysOf(const ResultDictionary& row) {
  EntryKeys keys;
  if (const Value* task = find(row, "task")) keys.task = task->asObjectID();
  if (const Value* billable = find(row, "isBillable")) keys.billable = billable->asBool();
  if (const Value* status = find(row, "billingStatusValue")) keys.billingStatus = status->asInteger();
  return keys;
}

// The edge entries as the store holds them, or, when this context has unsaved changes, as
// its objects show them (as the totals always counted them).
std::vector<EdgeEntry> edgeEntries(ObjectContext& context, const SessionQuery3& query) {
  FetchRequest request(Session::kEntityName);
  request.predicate = query.predicate(EdgeSessionPredicateOption::edgeSessionsOnly, false);
  std::vector<EdgeEntry> entries;
  if (context.hasChanges()) {
    for (auto& object : context.fetch(request)) {
      auto session = std::dynamic_pointer_cast<Session>(object);
      if (!session) continue;
      EdgeEntry entry;
      if (auto task = session->task()) entry.keys.task = task->objectID();
      // A fault (deleted meanwhile) counts, but has no data to measure.
      if (session->faultingState() == 0) {
        entry.begin = session->begin();
        entry.end = session->end();
        entry.hourlyRate = session->hourlyRate();
        entry.keys.billable = session->value("isBillable").asBool();
        entry.keys.billingStatus = session->value("billingStatusValue").asInteger();
      }
      entries.push_back(std::move(entry));
    }
    return entries;
  }
  request.resultType = FetchResultType::dictionary;
  request.propertiesToFetch = {std::string("task"),  std::string("isBillable"), std::string("billingStatusValue"),
                               std::string("begin"), std::string("end"),        std::string("hourlyRate")};
  context.enumerateDictionaries(request, [&](const ResultDictionary& row) {
    EdgeEntry entry{keysOf(row), {}, {}, 0};
    if (const Value* begin = find(row, "begin")) entry.begin = begin->asDate();
    if (const Value* end = find(row, "end")) entry.end = end->asDate();
    if (const Value* rate = find(row, "hourlyRate")) entry.hourlyRate = rate->asDouble().value_or(0);
    entries.push_back(std::move(entry));
  });
  return entries;
}

// The totals of `query` per group; `groupOf` places an entry, nothing leaves it out, and
// `groupBy` names the stored properties it reads besides the billable flag. Every group
// `alwaysPresent` names gets its edge revenue added even when it has no edge entry, so the
// revenue is rounded to the cent the same way whether or not an entry crosses a bound.
template <typename Key>
std::map<Key, TotalValues> totalsByGroup(ObjectContext& context, const Logger& log, const SessionQuery3& query,
                                         TotalValueTypeOptionSet valueTypes, std::vector<std::string> groupBy,
                                         const std::function<std::optional<Key>(const EntryKeys&)>& groupOf,
                                         const std::vector<Key>& alwaysPresent = {},
                                         bool groupOfUsesBillable = false) {
  const bool wantsDuration = valueTypes.contains(TotalValueTypeOptionSet::duration);
  const bool wantsRevenue = valueTypes.contains(TotalValueTypeOptionSet::revenue);
  const bool wantsCount = valueTypes.contains(TotalValueTypeOptionSet::sessionCount);
  std::map<Key, TotalValues> result;
  for (const Key& key : alwaysPresent) result[key];

  try {
    FetchRequest request(Session::kEntityName);
    request.resultType = FetchResultType::dictionary;
    request.predicate = query.predicate(EdgeSessionPredicateOption::withoutEdgeSessions, false);
    // Stored revenue counts for billable entries only: summed over those alone, unless the
    // groups are told apart by the flag anyway.
    if (groupOfUsesBillable) groupBy.emplace_back("isBillable");
    for (const auto& key : groupBy) request.propertiesToFetch.emplace_back(key);
    request.propertiesToFetch.emplace_back(
        ExpressionDescription{"SumDuration", "sum:", "confirmedDuration", AttributeType::doubleType});
    // Summed in whole cents by the store: a sum of doubles would drift off the cent.
    request.propertiesToFetch.emplace_back(ExpressionDescription{
        "SumRevenue", "sumOfHundredths:", "confirmedRevenue", AttributeType::integer64,
        groupOfUsesBillable ? std::string() : std::string("isBillable")});
    request.propertiesToFetch.emplace_back(ExpressionDescription{"Count", "count:", "begin", AttributeType::integer64});
    request.propertiesToGroupBy = groupBy;
    context.enumerateDictionaries(request, [&](const ResultDictionary& row) {
      const EntryKeys keys = keysOf(row);
      const auto group = groupOf(keys);
      if (!group) return;
      TotalValues& values = result[*group];
      const Value* duration = find(row, "SumDuration");
      const Value* count = find(row, "Count");
      const Value* cents = find(row, "SumRevenue");
      if (wantsDuration && duration) values.duration += duration->asDouble().value_or(0);
      if (wantsCount && count) values.sessionCount += count->asInteger().value_or(0);
      if (wantsRevenue && (!groupOfUsesBillable || keys.billable.value_or(false)) && cents) {
        values.revenue = amountOfCents(centsOf(values.revenue) + cents->asInteger().value_or(0));
      }
    });
  } catch (const std::exception& error) {
    logError(log, "Error on fetching sum duration", error);
  }

  struct EdgeSums {
    double duration = 0;
    std::int64_t cents = 0;
    std::int64_t count = 0;
  };
  std::map<Key, EdgeSums> edges;
  for (const Key& key : alwaysPresent) edges[key];
  try {
    for (const EdgeEntry& entry : edgeEntries(context, query)) {
      const auto group = groupOf(entry.keys);
      if (!group) continue;
      EdgeSums& sums = edges[*group];
      ++sums.count;
      // A faulted entry (deleted meanwhile) counts but has no data to measure.
      if (!entry.begin || !entry.end) continue;
      const double duration = ChartColumnBuilder::clippedSeconds(*entry.begin, *entry.end, query.from, query.to);
      sums.duration += duration;
      if (entry.keys.billable.value_or(false)) sums.cents += revenueCents(duration, entry.hourlyRate);
    }
  } catch (const std::exception& error) {
    logError(log, "Error on fetching edge sessions for duration and revenue", error);
    edges.clear();
    for (const Key& key : alwaysPresent) edges[key];
  }
  for (const auto& [group, sums] : edges) {
    TotalValues& values = result[group];
    if (wantsDuration) values.duration += sums.duration;
    if (wantsRevenue) values.revenue = sumOfAmounts(values.revenue, amountOfCents(sums.cents));
    if (wantsCount) values.sessionCount += sums.count;
  }
  return result;
}

// The billing state an entry is counted under, as the query's billing filter selects it.
std::optional<Billing> billingStateOf(const EntryKeys& keys) {
  if (!keys.billable) return std::nullopt;
  if (!*keys.billable) return Billing::nonBillable;
  if (!keys.billingStatus || *keys.billingStatus < 0 || *keys.billingStatus > 2) return std::nullopt;
  return SessionQuery3::billingStatusOptionFromRaw(static_cast<int>(*keys.billingStatus));
}

}  // namespace

TotalValues ReportCalculator::computeTotals(const SessionQuery3& query, TotalValueTypeOptionSet valueTypes) const {
  const auto totals = totalsByGroup<int>(
      *dataProvider_->context(), log_, query, valueTypes, {}, [](const EntryKeys&) { return std::optional<int>(0); },
      {0});
  return totals.at(0);
}

ReportCalculator::NodeBreakdown ReportCalculator::computeTotalsByTask(
    const SessionQuery3& query, TotalValueTypeOptionSet valueTypes,
    std::optional<TotalValues>* overall) const {
  // Entries without a task form a group of their own: no task's, but the whole query's.
  using Group = std::optional<ObjectID>;
  const auto totals =
      totalsByGroup<Group>(*dataProvider_->context(), log_, query, valueTypes, {"task"},
                           [](const EntryKeys& keys) { return std::optional<Group>(keys.task); });
  NodeBreakdown result;
  for (const auto& [task, values] : totals) {
    if (task) result.emplace(*task, values);
  }
  if (overall) {
    overall->reset();
    // Sums of whole seconds below 2^53 are exact in any order, so the groups then add up to
    // the very number one sum over the query gives; money is added in cents, as there.
    constexpr double kExactBelow = 9007199254740992.0;
    TotalValues sum;
    std::int64_t cents = 0;
    bool exact = true;
    for (const auto& [task, values] : totals) {
      exact = exact && std::floor(values.duration) == values.duration &&
              std::fabs(values.duration) < kExactBelow;
      sum.duration += values.duration;
      sum.sessionCount += values.sessionCount;
      cents += centsOf(values.revenue);
    }
    sum.revenue = amountOfCents(cents);
    if (exact && std::fabs(sum.duration) < kExactBelow) *overall = sum;
  }
  return result;
}

BillingBreakdown ReportCalculator::computeTotalsByBillingState(const SessionQuery3& query,
                                                               TotalValueTypeOptionSet valueTypes) const {
  SessionQuery3 everyState = query;
  everyState.billingStatus.reset();
  const std::vector<Billing> states = {Billing::nonBillable, Billing::unbilled, Billing::billed, Billing::paid};
  const auto totals = totalsByGroup<Billing>(*dataProvider_->context(), log_, everyState, valueTypes,
                                             {"billingStatusValue"}, billingStateOf, states, true);
  BillingBreakdown breakdown;
  for (const Billing state : states) breakdown.totalValues(state) = totals.at(state);
  return breakdown;
}

}  // namespace chronelle
