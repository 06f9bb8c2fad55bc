// The predicate texts and argument lists the session query hands to the store, row by
// row, with the running-entry additions at and around each boundary of "now".
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/SessionQuery3.h"

namespace chronelle {
namespace {

using Edge = EdgeSessionPredicateOption;
using Billing = SessionQuery3::BillingStatusOption;

// 2026-03-10 in UTC, at the given wall time.
Date at(int hour, int minute = 0) { return Date::fromSecondsSince1970(1'773'100'800.0 + hour * 3600.0 + minute * 60.0); }

const Date F = at(9);
const Date T = at(10);

std::string describe(const std::vector<Value>& values) {
  std::string text;
  for (const auto& v : values) text += (text.empty() ? "" : ", ") + v.description();
  return "[" + text + "]";
}

struct Row {
  const char* name;
  std::optional<Date> from;
  std::optional<Date> to;
  Edge option;
  bool running;
  Date now;
  std::optional<std::string> format;  // absent: no predicate
  std::vector<Value> arguments;
};

TEST(SessionQueryPredicate, PeriodClausePerRowAndRunningCondition) {
  const std::string edgeBase =
      "((begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@) OR (begin <= %@ AND end >= %@)";
  const std::string withoutBase = "((begin >= %@ AND begin < %@) AND (end > %@ AND end <= %@)";
  const std::string onlyBase = "((begin < %@ AND end > %@) OR (begin < %@ AND end > %@)";
  const std::vector<Value> ftftft{F, T, F, T, F, T};
  const std::vector<Value> ftft{F, T, F, T};
  const std::vector<Value> fftt{F, F, T, T};
  auto plus = [](std::vector<Value> v, std::vector<Value> more) {
    v.insert(v.end(), more.begin(), more.end());
    return v;
  };

  const std::vector<Row> rows = {
      // Both bounds, with edge entries: running entries count for periods containing now
      // (F exclusive, T inclusive) and, begun before T, for periods in the past.
      {"FT edge, now before F", F, T, Edge::withEdgeSessions, true, at(8), edgeBase + ")", ftftft},
      {"FT edge, now at F", F, T, Edge::withEdgeSessions, true, F, edgeBase + ")", ftftft},
      {"FT edge, now inside", F, T, Edge::withEdgeSessions, true, at(9, 30), edgeBase + " OR (end = nil))", ftftft},
      {"FT edge, now at T", F, T, Edge::withEdgeSessions, true, T, edgeBase + " OR (end = nil))", ftftft},
      {"FT edge, now after T", F, T, Edge::withEdgeSessions, true, at(11),
       edgeBase + " OR (end = nil AND begin < %@))", plus(ftftft, {T})},
      {"FT edge, running excluded", F, T, Edge::withEdgeSessions, false, at(9, 30),
       edgeBase + ") AND (end != nil)", ftftft},
      // Right edge: bare, never a running addition.
      {"FT right, now inside", F, T, Edge::withRightEdgeSessions, true, at(9, 30), "(begin >= %@ AND begin < %@)",
       {F, T}},
      {"FT right, now after", F, T, Edge::withRightEdgeSessions, true, at(11), "(begin >= %@ AND begin < %@)", {F, T}},
      {"FT right, running excluded", F, T, Edge::withRightEdgeSessions, false, at(9, 30),
       "(begin >= %@ AND begin < %@) AND (end != nil)", {F, T}},
      // Without edges: running entries only while now is inside.
      {"FT without, now at F", F, T, Edge::withoutEdgeSessions, true, F, withoutBase + ")", ftft},
      {"FT without, now inside", F, T, Edge::withoutEdgeSessions, true, at(9, 30),
       withoutBase + " OR (end = nil AND begin >= %@ AND begin < %@))", plus(ftft, {F, T})},
      {"FT without, now at T", F, T, Edge::withoutEdgeSessions, true, T,
       withoutBase + " OR (end = nil AND begin >= %@ AND begin < %@))", plus(ftft, {F, T})},
      {"FT without, now after", F, T, Edge::withoutEdgeSessions, true, at(11), withoutBase + ")", ftft},
      // Edges only: from F on the addition uses F; before F only an inverted period (now > T)
      // gets one, with T.
      {"FT only, now before F", F, T, Edge::edgeSessionsOnly, true, at(8), onlyBase + ")", fftt},
      {"FT only, now at F", F, T, Edge::edgeSessionsOnly, true, F, onlyBase + " OR (end = nil AND begin < %@))",
       plus(fftt, {F})},
      {"FT only, now after", F, T, Edge::edgeSessionsOnly, true, at(11), onlyBase + " OR (end = nil AND begin < %@))",
       plus(fftt, {F})},
      {"FT only, inverted period, now between", T, F, Edge::edgeSessionsOnly, true, at(9, 30),
       onlyBase + " OR (end = nil AND begin < %@))", {T, T, F, F, F}},
      // From only.
      {"F edge, now at F", F, std::nullopt, Edge::withEdgeSessions, true, F,
       "((begin >= %@) OR (begin <= %@ AND end >= %@))", {F, F, F}},
      {"F edge, now after F", F, std::nullopt, Edge::withEdgeSessions, true, at(9, 1),
       "((begin >= %@) OR (begin <= %@ AND end >= %@) OR (begin <= %@ AND end = nil))", {F, F, F, F}},
      {"F right", F, std::nullopt, Edge::withRightEdgeSessions, true, at(11), "(begin >= %@)", {F}},
      {"F without", F, std::nullopt, Edge::withoutEdgeSessions, true, at(11), "(begin >= %@)", {F}},
      {"F only, now before F", F, std::nullopt, Edge::edgeSessionsOnly, true, at(8), "((begin < %@ AND end > %@))",
       {F, F}},
      {"F only, now at F", F, std::nullopt, Edge::edgeSessionsOnly, true, F,
       "((begin < %@ AND end > %@) OR (end = nil AND begin < %@))", {F, F, F}},
      // To only.
      {"T edge, now at T", std::nullopt, T, Edge::withEdgeSessions, true, T,
       "((end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil))", {T, T, T}},
      {"T edge, now after T", std::nullopt, T, Edge::withEdgeSessions, true, at(10, 1),
       "((end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil AND begin < %@))", {T, T, T, T}},
      {"T right, now before T", std::nullopt, T, Edge::withRightEdgeSessions, true, at(8),
       "((end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil))", {T, T, T}},
      {"T right, running excluded", std::nullopt, T, Edge::withRightEdgeSessions, false, at(8),
       "((end <= %@) OR (begin <= %@ AND end >= %@)) AND (end != nil)", {T, T, T}},
      {"T without, now at T", std::nullopt, T, Edge::withoutEdgeSessions, true, T, "((end <= %@) OR (end = nil))",
       {T}},
      {"T without, now after T", std::nullopt, T, Edge::withoutEdgeSessions, true, at(11), "((end <= %@))", {T}},
      {"T only, now at T", std::nullopt, T, Edge::edgeSessionsOnly, true, T, "((begin < %@ AND end > %@))", {T, T}},
      {"T only, now after T", std::nullopt, T, Edge::edgeSessionsOnly, true, at(11),
       "((begin < %@ AND end > %@) OR (end = nil AND begin < %@))", {T, T, T}},
      // No bounds.
      {"none, edge, running", std::nullopt, std::nullopt, Edge::withEdgeSessions, true, at(9), std::nullopt, {}},
      {"none, without, running excluded", std::nullopt, std::nullopt, Edge::withoutEdgeSessions, false, at(9),
       "(end != nil)", {}},
      {"none, edges only", std::nullopt, std::nullopt, Edge::edgeSessionsOnly, false, at(9), "end == nil && end != nil",
       {}},
  };

  for (const Row& row : rows) {
    SessionQuery3 query;
    query.from = row.from;
    query.to = row.to;
    auto spec = query.predicateSpec(row.option, row.running, row.now);
    SCOPED_TRACE(std::string("case: ") + row.name);
    ASSERT_EQ(spec.has_value(), row.format.has_value());
    if (!spec) continue;
    EXPECT_EQ(spec->format, *row.format);
    EXPECT_EQ(describe(spec->arguments), describe(row.arguments));
  }
}

TEST(SessionQueryPredicate, FilterClausesFollowThePeriodInOrder) {
  const ObjectID task = ObjectID::permanent("Task", 7, "STORE");
  const ObjectID other = ObjectID::permanent("Task", 9, "STORE");

  struct Case {
    const char* name;
    SessionQuery3 query;
    std::optional<std::string> format;
    std::vector<Value> arguments;
    Edge option = Edge::withEdgeSessions;
  };
  auto make = [](auto&& edit) {
    SessionQuery3 q;
    edit(q);
    return q;
  };
  const std::vector<Case> cases = {
      // An emptied set is a filter that nothing passes, unlike an absent one.
      {"empty task set", make([](SessionQuery3& q) { q.taskIds = std::set<ObjectID>{}; }), "task IN %@",
       {Value(Value::List{})}},
      {"two tasks", make([&](SessionQuery3& q) { q.taskIds = std::set<ObjectID>{task, other}; }), "task IN %@",
       {Value(Value::List{task, other})}},
      {"active only", make([](SessionQuery3& q) { q.archived = SessionQuery3::ArchiveFilterOption::activeOnly; }),
       "task.archived == false", {}},
      {"archived only", make([](SessionQuery3& q) { q.archived = SessionQuery3::ArchiveFilterOption::archivedOnly; }),
       "task.archived == true", {}},
      {"empty billing set", make([](SessionQuery3& q) { q.billingStatus = std::set<Billing>{}; }),
       "billingStatusValue IN %@", {Value(Value::List{})}},
      {"non-billable alone", make([](SessionQuery3& q) { q.billingStatus = std::set{Billing::nonBillable}; }),
       "(isBillable == false)", {}},
      {"billed alone", make([](SessionQuery3& q) { q.billingStatus = std::set{Billing::billed}; }),
       "((isBillable == true AND billingStatusValue IN %@))", {Value(Value::List{1})}},
      {"unbilled, paid and non-billable",
       make([](SessionQuery3& q) { q.billingStatus = std::set{Billing::paid, Billing::nonBillable, Billing::unbilled}; }),
       "((isBillable == true AND billingStatusValue IN %@) OR isBillable == false)", {Value(Value::List{0, 2})}},
      {"worked example", make([&](SessionQuery3& q) {
         q.from = F;
         q.to = T;
         q.taskIds = std::set<ObjectID>{task};
         q.archived = SessionQuery3::ArchiveFilterOption::activeOnly;
         q.billingStatus = std::set{Billing::nonBillable, Billing::paid};
       }),
       "((begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil)) "
       "AND task IN %@ AND task.archived == false AND ((isBillable == true AND billingStatusValue IN %@) OR "
       "isBillable == false)",
       {F, T, F, T, F, T, Value(Value::List{task}), Value(Value::List{2})}},
      {"edges only without bounds ignores every filter", make([&](SessionQuery3& q) {
         q.taskIds = std::set<ObjectID>{task};
         q.archived = SessionQuery3::ArchiveFilterOption::archivedOnly;
         q.billingStatus = std::set{Billing::billed};
       }),
       "end == nil && end != nil", {}, Edge::edgeSessionsOnly},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("case: ") + c.name);
    auto spec = c.query.predicateSpec(c.option, true, at(9, 30));
    ASSERT_EQ(spec.has_value(), c.format.has_value());
    if (!spec) continue;
    EXPECT_EQ(spec->format, *c.format);
    EXPECT_EQ(describe(spec->arguments), describe(c.arguments));
  }

  // Running excluded comes right after the period and before the filters.
  SessionQuery3 q;
  q.from = F;
  q.archived = SessionQuery3::ArchiveFilterOption::activeOnly;
  EXPECT_EQ(q.predicateSpec(Edge::withoutEdgeSessions, false, at(9))->format,
            "(begin >= %@) AND (end != nil) AND task.archived == false");
}

}  // namespace
}  // namespace chronelle
