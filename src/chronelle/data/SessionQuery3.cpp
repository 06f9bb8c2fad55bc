#include "chronelle/data/SessionQuery3.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "chronelle/data/ObjectPredicateSubject.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

using Option = EdgeSessionPredicateOption;

// Text of a Date for the key and the description: seconds since 1970 with all six
// digits of the microseconds, so two distinct instants never share a key.
std::string secondsText(Date date) {
  const std::int64_t micros = date.microsecondsSince1970();
  const std::uint64_t magnitude =
      micros < 0 ? static_cast<std::uint64_t>(-(micros + 1)) + 1 : static_cast<std::uint64_t>(micros);
  std::string fraction = std::to_string(magnitude % 1000000);
  fraction.insert(0, 6 - fraction.size(), '0');
  return (micros < 0 ? "-" : "") + std::to_string(magnitude / 1000000) + "." + fraction;
}

// The period clause of one request, before it is wrapped: the row's base text and
// arguments with its running addition already appended.
struct PeriodClause {
  std::string text;
  std::vector<Value> arguments;
  bool bare = false;  // appended as it is, without an extra pair of parentheses

  void add(std::string_view addition, std::vector<Value> extra = {}) {
    text += addition;
    for (auto& value : extra) arguments.push_back(std::move(value));
  }
};

// The clause for both bounds present.
PeriodClause boundedClause(Option option, bool running, Date f, Date t, Date now) {
  switch (option) {
    case Option::withEdgeSessions: {
      PeriodClause c{"(begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@) OR (begin <= %@ AND end >= %@)",
                     {f, t, f, t, f, t}};
      if (running) {
        if (now > f && now <= t) {
          c.add(" OR (end = nil)");
        } else if (now >= t) {
          c.add(" OR (end = nil AND begin < %@)", {t});
        }
      }
      return c;
    }
    case Option::withRightEdgeSessions:
      return PeriodClause{"(begin >= %@ AND begin < %@)", {f, t}, true};
    case Option::withoutEdgeSessions: {
      PeriodClause c{"(begin >= %@ AND begin < %@) AND (end > %@ AND end <= %@)", {f, t, f, t}};
      if (running && now > f && now <= t) c.add(" OR (end = nil AND begin >= %@ AND begin < %@)", {f, t});
      return c;
    }
    case Option::edgeSessionsOnly: {
      PeriodClause c{"(begin < %@ AND end > %@) OR (begin < %@ AND end > %@)", {f, f, t, t}};
      if (running) {
        if (now >= f) {
          c.add(" OR (end = nil AND begin < %@)", {f});
        } else if (now > t) {
          c.add(" OR (end = nil AND begin < %@)", {t});
        }
      }
      return c;
    }
  }
  return {};
}

// The clause for a period open towards the future.
PeriodClause fromOnlyClause(Option option, bool running, Date f, Date now) {
  switch (option) {
    case Option::withEdgeSessions: {
      PeriodClause c{"(begin >= %@) OR (begin <= %@ AND end >= %@)", {f, f, f}};
      if (running && now > f) c.add(" OR (begin <= %@ AND end = nil)", {f});
      return c;
    }
    case Option::withRightEdgeSessions:
    case Option::withoutEdgeSessions:
      return PeriodClause{"(begin >= %@)", {f}, true};
    case Option::edgeSessionsOnly: {
      PeriodClause c{"(begin < %@ AND end > %@)", {f, f}};
      if (running && now >= f) c.add(" OR (end = nil AND begin < %@)", {f});
      return c;
    }
  }
  return {};
}

// The clause for a period open towards the past.
PeriodClause toOnlyClause(Option option, bool running, Date t, Date now) {
  switch (option) {
    case Option::withEdgeSessions:
    case Option::withRightEdgeSessions: {
      PeriodClause c{"(end <= %@) OR (begin <= %@ AND end >= %@)", {t, t, t}};
      if (running) {
        if (t >= now) {
          c.add(" OR (end = nil)");
        } else {
          c.add(" OR (end = nil AND begin < %@)", {t});
        }
      }
      return c;
    }
    case Option::withoutEdgeSessions: {
      PeriodClause c{"(end <= %@)", {t}};
      if (running && t >= now) c.add(" OR (end = nil)");
      return c;
    }
    case Option::edgeSessionsOnly: {
      PeriodClause c{"(begin < %@ AND end > %@)", {t, t}};
      if (running && now > t) c.add(" OR (end = nil AND begin < %@)", {t});
      return c;
    }
  }
  return {};
}

}  // namespace

const char* toString(EdgeSessionPredicateOption option) {
  switch (option) {
    case Option::withEdgeSessions: return "withEdgeSessions";
    case Option::withRightEdgeSessions: return "withRightEdgeSessions";
    case Option::withoutEdgeSessions: return "withoutEdgeSessions";
    case Option::edgeSessionsOnly: return "edgeSessionsOnly";
  }
  return "?";
}

const char* toString(SessionQuery3::ArchiveFilterOption option) {
  return option == SessionQuery3::ArchiveFilterOption::activeOnly ? "activeOnly" : "archivedOnly";
}

std::optional<SessionQuery3::BillingStatusOption> SessionQuery3::billingStatusOptionFromRaw(int rawValue) {
  if (rawValue < -1 || rawValue > 2) return std::nullopt;
  return static_cast<BillingStatusOption>(rawValue);
}

std::optional<PredicateSpec> SessionQuery3::predicateSpec(EdgeSessionPredicateOption option,
                                                          bool includeRunningSession, Date now) const {
  std::vector<std::string> clauses;
  std::vector<Value> arguments;
  auto append = [&](std::string clause, std::vector<Value> extra = {}) {
    clauses.push_back(std::move(clause));
    for (auto& value : extra) arguments.push_back(std::move(value));
  };

  // Step 1: the period.
  std::optional<PeriodClause> period;
  if (from && to) {
    period = boundedClause(option, includeRunningSession, *from, *to, now);
  } else if (from) {
    period = fromOnlyClause(option, includeRunningSession, *from, now);
  } else if (to) {
    period = toOnlyClause(option, includeRunningSession, *to, now);
  } else if (option == Option::edgeSessionsOnly) {
    // Without bounds nothing crosses an edge: a predicate no entry can satisfy, and no
    // other filter matters.
    return PredicateSpec{"end == nil && end != nil", {}};
  }
  if (period) append(period->bare ? period->text : "(" + period->text + ")", std::move(period->arguments));

  // Step 2: running entries excluded.
  if (!includeRunningSession) append("(end != nil)");

  // Step 3: tasks. A present set is a filter even when empty: membership in an empty list is
  // false both in SQL and in memory, so the query then selects nothing.
  if (taskIds) {
    Value::List ids(taskIds->begin(), taskIds->end());
    append("task IN %@", {Value(std::move(ids))});
  }

  // Step 4: archive filter on the entry's task.
  if (archived) {
    append(*archived == ArchiveFilterOption::activeOnly ? "task.archived == false" : "task.archived == true");
  }

  // Step 5: billing states. An empty set is a filter that no entry passes.
  if (billingStatus && billingStatus->empty()) {
    append("billingStatusValue IN %@", {Value(Value::List{})});
  } else if (billingStatus) {
    std::vector<std::string> parts;
    Value::List statuses;
    for (BillingStatusOption status : *billingStatus) {
      if (status != BillingStatusOption::nonBillable) statuses.emplace_back(static_cast<int>(status));
    }
    std::vector<Value> billingArguments;
    if (!statuses.empty()) {
      parts.emplace_back("(isBillable == true AND billingStatusValue IN %@)");
      billingArguments.emplace_back(std::move(statuses));
    }
    if (billingStatus->contains(BillingStatusOption::nonBillable)) parts.emplace_back("isBillable == false");
    std::string joined;
    for (const auto& part : parts) joined += (joined.empty() ? "" : " OR ") + part;
    append("(" + joined + ")", std::move(billingArguments));
  }

  // Step 6: all clauses must hold.
  if (clauses.empty()) return std::nullopt;
  PredicateSpec spec;
  for (const auto& clause : clauses) spec.format += (spec.format.empty() ? "" : " AND ") + clause;
  spec.arguments = std::move(arguments);
  return spec;
}

std::optional<Predicate> SessionQuery3::predicate(EdgeSessionPredicateOption option,
                                                  bool includeRunningSession) const {
  auto spec = predicateSpec(option, includeRunningSession, Clock::now());
  if (!spec) return std::nullopt;
  return spec->toPredicate();
}

std::string SessionQuery3::hashKey() const {
  std::string key = from ? secondsText(*from) : "nil";
  key += "-" + (to ? secondsText(*to) : std::string("nil"));

  key += "-";
  if (taskIds) {
    std::vector<std::string> uris;
    for (const auto& id : *taskIds) uris.push_back(id.uriRepresentation());
    std::sort(uris.begin(), uris.end());
    for (std::size_t i = 0; i < uris.size(); ++i) key += (i ? "|" : "") + uris[i];
  } else {
    key += "nil";
  }

  key += "-";
  if (billingStatus) {
    // std::set iterates in ascending raw-value order already.
    key += "[";
    bool first = true;
    for (BillingStatusOption status : *billingStatus) {
      key += (first ? "" : ",") + std::to_string(static_cast<int>(status));
      first = false;
    }
    key += "]";
  } else {
    key += "nil";
  }

  key += "-";
  key += archived ? toString(*archived) : "nil";
  return key;
}

bool SessionQuery3::includes(const Session& session) const {
  // "task IN %@" compares object IDs, which the in-memory test does on its own below.
  SessionQuery3 withoutTasks = *this;
  withoutTasks.taskIds.reset();
  if (auto p = withoutTasks.predicate(Option::withEdgeSessions, true)) {
    if (!p->evaluate(ObjectPredicateSubject(session))) return false;
  }
  if (taskIds) {
    if (taskIds->empty()) return false;
    auto task = session.task();
    if (task && !taskIds->contains(task->objectID())) return false;
  }
  return true;
}

std::optional<DateInterval> SessionQuery3::dateInteval() const {
  if (!from || !to) return std::nullopt;
  return DateInterval(*from, std::max(*from, *to));
}

std::string SessionQuery3::description() const {
  auto dateText = [](const std::optional<Date>& d) { return d ? d->isoString() : std::string("nil"); };
  std::string nodes = "nil";
  if (taskIds) {
    nodes = "[";
    for (const auto& id : *taskIds) nodes += (nodes.size() > 1 ? ", " : "") + id.uriRepresentation();
    nodes += "]";
  }
  std::string billing = "nil";
  if (billingStatus) {
    billing = "[";
    for (BillingStatusOption status : *billingStatus) {
      billing += (billing.size() > 1 ? ", " : "") + std::to_string(static_cast<int>(status));
    }
    billing += "]";
  }
  return "<SessionQuery3:\n        from = " + dateText(from) + ",\n        to = " + dateText(to) +
         ",\n        nodes = " + nodes + ",\n        archived = " + (archived ? toString(*archived) : "nil") +
         ",\n        billingStatus = " + billing + "\n>";
}

std::optional<BillingStatus> toBillingStatus(SessionQuery3::BillingStatusOption option) {
  if (option == SessionQuery3::BillingStatusOption::nonBillable) return std::nullopt;
  return BillingStatus::fromRaw(static_cast<int>(option));
}

std::string localizedName(SessionQuery3::BillingStatusOption option) {
  switch (option) {
    case SessionQuery3::BillingStatusOption::nonBillable: return Localizer::localizedString("Non-billable");
    case SessionQuery3::BillingStatusOption::unbilled: return Localizer::localizedString("Unbilled");
    case SessionQuery3::BillingStatusOption::billed: return Localizer::localizedString("Billed");
    case SessionQuery3::BillingStatusOption::paid: return Localizer::localizedString("Paid");
  }
  return {};
}

}  // namespace chronelle
