#pragma once

#include <optional>
#include <set>
#include <string>

#include "chronelle/data/EdgeSessionPredicateOption.h"
#include "chronelle/data/PredicateSpec.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"
#include "chronelle/store/ObjectID.h"
#include "chronelle/store/Predicate.h"

namespace chronelle {

class Session;

// The one description of "which time entries" that lists, reports and charts share: an
// optional period, task set, archive filter and set of billing states. It builds the
// store predicate for a request (deciding how entries crossing the period's edges and
// running entries count), the cache key `hashKey`, and the in-memory test
// `includes(session)`.
//
// A value type; immutable by convention (change a copy). Usable on any thread, except
// `includes`, which reads the entry and so runs on the entry's context queue.
struct SessionQuery3 {
  enum class ArchiveFilterOption { activeOnly, archivedOnly };

  // Billing states a report can select. The billing cases share BillingStatus's raw
  // values, so a set of options maps straight onto stored `billingStatusValue`s;
  // `nonBillable` stands for entries whose `isBillable` is false, whatever their status.
  enum class BillingStatusOption : int { nonBillable = -1, unbilled = 0, billed = 1, paid = 2 };

  // Start of the period; absent: open towards the past.
  std::optional<Date> from;
  // End of the period; absent: open towards the future.
  std::optional<Date> to;
  // Only entries of these tasks; absent: all tasks. An empty set selects no entry (a scope
  // whose last node was removed, or a folder without tasks, reports nothing).
  std::optional<std::set<ObjectID>> taskIds;
  // Filter on the archived flag of the entry's task; absent: no filter.
  std::optional<ArchiveFilterOption> archived;
  // Only entries in one of these states; absent: no filter. An empty set selects no entry.
  std::optional<std::set<BillingStatusOption>> billingStatus;

  // The option for a raw value, or absent outside -1...2.
  static std::optional<BillingStatusOption> billingStatusOptionFromRaw(int rawValue);

  // The format text and arguments of the store predicate for this query, built with
  // `now` as the current instant (which decides the running-entry clauses). Absent when
  // the query filters nothing. Does not throw.
  std::optional<PredicateSpec> predicateSpec(EdgeSessionPredicateOption option, bool includeRunningSession,
                                             Date now) const;
  // The same with `Clock::now()`, parsed. Absent when the query filters nothing.
  std::optional<Predicate> predicate(EdgeSessionPredicateOption option, bool includeRunningSession) const;

  // Cache key: equal for equal queries, different for queries differing in any field,
  // independent of set order. Deterministic within a run only.
  std::string hashKey() const;

  // Whether `session` matches: the predicate with edge entries and
  // running entries included, evaluated in memory on its current values, plus the task
  // set. An entry without a task passes a non-empty task set's test; an empty set admits
  // no entry. Reads "now" from `Clock::now()`. Call on the entry's context queue.
  bool includes(const Session& session) const;

  // From `from` to the later of `from` and `to`; absent unless both bounds are present.
  std::optional<DateInterval> dateInteval() const;

  // A multi-line text for logs.
  std::string description() const;

  // Equal exactly when the hash keys are equal.
  friend bool operator==(const SessionQuery3& a, const SessionQuery3& b) { return a.hashKey() == b.hashKey(); }
};

// The case name ("activeOnly", "archivedOnly").
const char* toString(SessionQuery3::ArchiveFilterOption option);
// The stored billing status an option stands for; absent for `nonBillable`.
std::optional<BillingStatus> toBillingStatus(SessionQuery3::BillingStatusOption option);
// The localised display name ("Non-billable", "Unbilled", "Billed", "Paid" as keys).
std::string localizedName(SessionQuery3::BillingStatusOption option);

}  // namespace chronelle
