// The predicate texts and argument lists the session query hands to the store, row by
// row, with the running-entry additions at and around each boundary of "now".
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/platform/Localizer.h"

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

  const auto E = Edge::withEdgeSessions, R = Edge::withRightEdgeSessions, W = Edge::withoutEdgeSessions,
             O = Edge::edgeSessionsOnly;
  const std::optional<Date> N;
  const std::vector<Row> rows = {
      // Both bounds, with edge entries: running entries count for periods containing now
      // (F exclusive, T inclusive) and, begun before T, for periods in the past.
      {"FT edge, now before F", F, T, E, true, at(8), edgeBase + ")", ftftft},
      {"FT edge, now at F", F, T, E, true, F, edgeBase + ")", ftftft},
      {"FT edge, now inside", F, T, E, true, at(9, 30), edgeBase + " OR (end = nil))", ftftft},
      {"FT edge, now at T", F, T, E, true, T, edgeBase + " OR (end = nil))", ftftft},
      {"FT edge, now after T", F, T, E, true, at(11), edgeBase + " OR (end = nil AND begin < %@))", plus(ftftft, {T})},
      {"FT edge, running excluded", F, T, E, false, at(9, 30), edgeBase + ") AND (end != nil)", ftftft},
      // Right edge: bare, never a running addition.
      {"FT right, now inside", F, T, R, true, at(9, 30), "(begin >= %@ AND begin < %@)", {F, T}},
      {"FT right, now after", F, T, R, true, at(11), "(begin >= %@ AND begin < %@)", {F, T}},
      {"FT right, running excluded", F, T, R, false, at(9, 30),
       "(begin >= %@ AND begin < %@) AND (end != nil)", {F, T}},
      // Without edges: running entries only while now is inside.
      {"FT without, now at F", F, T, W, true, F, withoutBase + ")", ftft},
      {"FT without, now inside", F, T, W, true, at(9, 30),
       withoutBase + " OR (end = nil AND begin >= %@ AND begin < %@))", plus(ftft, {F, T})},
      {"FT without, now at T", F, T, W, true, T,
       withoutBase + " OR (end = nil AND begin >= %@ AND begin < %@))", plus(ftft, {F, T})},
      {"FT without, now after", F, T, W, true, at(11), withoutBase + ")", ftft},
      // Edges only: from F on the addition uses F; before F only an inverted period (now > T)
      // gets one, with T.
      {"FT only, now before F", F, T, O, true, at(8), onlyBase + ")", fftt},
      {"FT only, now at F", F, T, O, true, F, onlyBase + " OR (end = nil AND begin < %@))", plus(fftt, {F})},
      {"FT only, now after", F, T, O, true, at(11), onlyBase + " OR (end = nil AND begin < %@))", plus(fftt, {F})},
      {"FT only, inverted period, now between", T, F, O, true, at(9, 30),
       onlyBase + " OR (end = nil AND begin < %@))", {T, T, F, F, F}},
      // From only.
      {"F edge, now at F", F, N, E, true, F, "((begin >= %@) OR (begin <= %@ AND end >= %@))", {F, F, F}},
      {"F edge, now after F", F, N, E, true, at(9, 1),
       "((begin >= %@) OR (begin <= %@ AND end >= %@) OR (begin <= %@ AND end = nil))", {F, F, F, F}},
      {"F right", F, N, R, true, at(11), "(begin >= %@)", {F}},
      {"F without", F, N, W, true, at(11), "(begin >= %@)", {F}},
      {"F only, now before F", F, N, O, true, at(8), "((begin < %@ AND end > %@))", {F, F}},
      {"F only, now at F", F, N, O, true, F, "((begin < %@ AND end > %@) OR (end = nil AND begin < %@))", {F, F, F}},
      // To only.
      {"T edge, now at T", N, T, E, true, T, "((end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil))", {T, T, T}},
      {"T edge, now after T", N, T, E, true, at(10, 1),
       "((end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil AND begin < %@))", {T, T, T, T}},
      {"T right, now before T", N, T, R, true, at(8),
       "((end <= %@) OR (begin <= %@ AND end >= %@) OR (end = nil))", {T, T, T}},
      {"T right, running excluded", N, T, R, false, at(8),
       "((end <= %@) OR (begin <= %@ AND end >= %@)) AND (end != nil)", {T, T, T}},
      {"T without, now at T", N, T, W, true, T, "((end <= %@) OR (end = nil))", {T}},
      {"T without, now after T", N, T, W, true, at(11), "((end <= %@))", {T}},
      {"T only, now at T", N, T, O, true, T, "((begin < %@ AND end > %@))", {T, T}},
      {"T only, now after T", N, T, O, true, at(11),
       "((begin < %@ AND end > %@) OR (end = nil AND begin < %@))", {T, T, T}},
      // No bounds.
      {"none, edge, running", N, N, E, true, at(9), std::nullopt, {}},
      {"none, without, running excluded", N, N, W, false, at(9), "(end != nil)", {}},
      {"none, edges only", N, N, O, false, at(9), "end == nil && end != nil", {}},
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
      {"archived only", make([](SessionQuery3& q) { q.archived = SessionQuery3::ArchiveFilterOption::archivedOnly; }),
       "task.archived == true", {}},
      {"empty billing set", make([](SessionQuery3& q) { q.billingStatus = std::set<Billing>{}; }),
       "billingStatusValue IN %@", {Value(Value::List{})}},
      {"non-billable alone", make([](SessionQuery3& q) { q.billingStatus = std::set{Billing::nonBillable}; }),
       "(isBillable == false)", {}},
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

// The session query as a value: its cache key and equality, interval and billing options.
using Billing = SessionQuery3::BillingStatusOption;
using Archive = SessionQuery3::ArchiveFilterOption;

const Date kNine = Date::fromSecondsSince1970(1'773'133'200.0);
const Date kTen = kNine + 3600;
const ObjectID kTaskA = ObjectID::permanent("Task", 1, "STORE");
const ObjectID kTaskB = ObjectID::permanent("Task", 2, "STORE");

TEST(SessionQueryValue, HashKeyTellsEveryFieldApart) {
  auto q = [](auto&& edit) {
    SessionQuery3 query;
    edit(query);
    return query;
  };
  // Each query differs from every other in at least one field.
  const std::vector<SessionQuery3> queries = {
      SessionQuery3{},
      q([](SessionQuery3& x) { x.from = kNine; }),
      q([](SessionQuery3& x) { x.to = kNine; }),
      q([](SessionQuery3& x) { x.from = kNine + 0.000001; }),
      q([](SessionQuery3& x) { x.from = Date::fromSecondsSince1970(-1.5); }),
      q([](SessionQuery3& x) { x.from = kNine, x.to = kTen; }),
      q([](SessionQuery3& x) { x.from = kTen, x.to = kNine; }),
      q([](SessionQuery3& x) { x.taskIds = std::set<ObjectID>{}; }),
      q([](SessionQuery3& x) { x.taskIds = std::set<ObjectID>{kTaskA}; }),
      q([](SessionQuery3& x) { x.taskIds = std::set<ObjectID>{kTaskA, kTaskB}; }),
      q([](SessionQuery3& x) { x.archived = Archive::activeOnly; }),
      q([](SessionQuery3& x) { x.archived = Archive::archivedOnly; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set<Billing>{}; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set{Billing::nonBillable}; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set{Billing::unbilled}; }),
      q([](SessionQuery3& x) { x.billingStatus = std::set{Billing::nonBillable, Billing::unbilled}; }),
  };
  for (std::size_t i = 0; i < queries.size(); ++i) {
    EXPECT_EQ(queries[i].hashKey(), SessionQuery3(queries[i]).hashKey()) << "case " << i;
    EXPECT_TRUE(queries[i] == SessionQuery3(queries[i])) << "case " << i;
    for (std::size_t j = i + 1; j < queries.size(); ++j) {
      EXPECT_NE(queries[i].hashKey(), queries[j].hashKey()) << "cases " << i << " and " << j;
      EXPECT_TRUE(queries[i] != queries[j]) << "cases " << i << " and " << j;
    }
  }

}

TEST(SessionQueryValue, IntervalNeedsBothBoundsAndIsNeverNegative) {
  SessionQuery3 query;
  query.from = kNine;
  EXPECT_FALSE(query.dateInteval());
  query.to = kTen;
  EXPECT_EQ(query.dateInteval(), DateInterval(kNine, kTen));
  query.to = kNine - 60;  // before `from`: an empty interval at `from`
  EXPECT_EQ(query.dateInteval(), DateInterval(kNine, kNine));
  query.from.reset();
  EXPECT_FALSE(query.dateInteval());
}

TEST(SessionQueryValue, BillingOptionsMapOntoStoredStatuses) {
  const struct {
    int raw;
    std::optional<Billing> option;
    std::optional<int> status;
    const char* key;
  } cases[] = {
      {-2, std::nullopt, std::nullopt, ""},
      {-1, Billing::nonBillable, std::nullopt, "Non-billable"},
      {0, Billing::unbilled, BillingStatus::unbilled, "Unbilled"},
      {1, Billing::billed, BillingStatus::billed, "Billed"},
      {2, Billing::paid, BillingStatus::paid, "Paid"},
      {3, std::nullopt, std::nullopt, ""},
  };
  Localizer::setTable({{"Paid", "Bezahlt"}});
  for (const auto& c : cases) {
    auto option = SessionQuery3::billingStatusOptionFromRaw(c.raw);
    ASSERT_EQ(option, c.option) << "raw " << c.raw;
    if (!option) continue;
    auto status = toBillingStatus(*option);
    EXPECT_EQ(status ? std::optional<int>(status->rawValue()) : std::nullopt, c.status) << "raw " << c.raw;
    const std::string expected = std::string(c.key) == "Paid" ? "Bezahlt" : c.key;
    EXPECT_EQ(localizedName(*option), expected) << "raw " << c.raw;
  }
  Localizer::reset();
}

}  // namespace
}  // namespace chronelle
