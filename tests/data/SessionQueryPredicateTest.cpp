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

// The arguments as letters (F, T), so that a row fits on one line.
std::string letters(const std::vector<Value>& values) {
  std::string text;
  for (const auto& v : values) text += v == Value(F) ? "F" : v == Value(T) ? "T" : "?";
  return text;
}

TEST(SessionQueryPredicate, PeriodClausePerRowAndRunningCondition) {
  // Running entries: with edges they count for periods containing now (F exclusive, T
  // inclusive) and, begun before T, for past periods; without edges only while now is
  // inside; edges only from F on with F, before F only for an inverted period, with T.
  const std::string E = "((begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@) OR "
                        "(begin <= %@ AND end >= %@)";
  const std::string W = "((begin >= %@ AND begin < %@) AND (end > %@ AND end <= %@)";
  const std::string O = "((begin < %@ AND end > %@) OR (begin < %@ AND end > %@)";
  const std::string FE = "((begin >= %@) OR (begin <= %@ AND end >= %@)";
  const std::string TE = "((end <= %@) OR (begin <= %@ AND end >= %@)";
  const std::string nilBefore = " OR (end = nil AND begin < %@))";
  const auto e = Edge::withEdgeSessions, r = Edge::withRightEdgeSessions,
             w = Edge::withoutEdgeSessions, o = Edge::edgeSessionsOnly;
  const std::optional<Date> N;
  const Date mid = at(9, 30), late = at(11);
  const struct {
    std::optional<Date> from, to;
    Edge option;
    bool running;
    Date now;
    std::string expected;  // format, a space and the arguments as letters; "-": none
  } rows[] = {
      {F, T, e, true, F, E + ") FTFTFT"},
      {F, T, e, true, T, E + " OR (end = nil)) FTFTFT"},
      {F, T, e, true, late, E + nilBefore + " FTFTFTT"},
      {F, T, e, false, mid, E + ") AND (end != nil) FTFTFT"},
      {F, T, r, true, late, "(begin >= %@ AND begin < %@) FT"},
      {F, T, r, false, mid, "(begin >= %@ AND begin < %@) AND (end != nil) FT"},
      {F, T, w, true, F, W + ") FTFT"},
      {F, T, w, true, T, W + " OR (end = nil AND begin >= %@ AND begin < %@)) FTFTFT"},
      {F, T, w, true, late, W + ") FTFT"},
      {F, T, o, true, at(8), O + ") FFTT"},
      {F, T, o, true, F, O + nilBefore + " FFTTF"},
      {T, F, o, true, mid, O + nilBefore + " TTFFF"},
      {F, N, e, true, F, FE + ") FFF"},
      {F, N, e, true, at(9, 1), FE + " OR (begin <= %@ AND end = nil)) FFFF"},
      {F, N, r, true, late, "(begin >= %@) F"},
      {F, N, w, true, late, "(begin >= %@) F"},
      {F, N, o, true, at(8), "((begin < %@ AND end > %@)) FF"},
      {F, N, o, true, F, "((begin < %@ AND end > %@)" + nilBefore + " FFF"},
      {N, T, e, true, T, TE + " OR (end = nil)) TTT"},
      {N, T, e, true, at(10, 1), TE + nilBefore + " TTTT"},
      {N, T, r, false, at(8), TE + ") AND (end != nil) TTT"},
      {N, T, w, true, T, "((end <= %@) OR (end = nil)) T"},
      {N, T, w, true, late, "((end <= %@)) T"},
      {N, T, o, true, T, "((begin < %@ AND end > %@)) TT"},
      {N, T, o, true, late, "((begin < %@ AND end > %@)" + nilBefore + " TTT"},
      {N, N, e, true, F, "-"},
      {N, N, w, false, F, "(end != nil) "},
      {N, N, o, false, F, "end == nil && end != nil "},
  };
  for (const auto& row : rows) {
    SessionQuery3 query;
    query.from = row.from, query.to = row.to;
    auto spec = query.predicateSpec(row.option, row.running, row.now);
    EXPECT_EQ(spec ? spec->format + " " + letters(spec->arguments) : "-", row.expected)
        << toString(row.option) << " running " << row.running << " now " << row.now.isoString();
  }
}

TEST(SessionQueryPredicate, FilterClausesFollowThePeriodInOrder) {
  const ObjectID task = ObjectID::permanent("Task", 7, "STORE");
  std::vector<SessionQuery3> q(7);
  // An emptied set is a filter that nothing passes, unlike an absent one.
  q[0].taskIds = std::set<ObjectID>{};
  q[1].archived = SessionQuery3::ArchiveFilterOption::archivedOnly;
  q[2].billingStatus = std::set<Billing>{};
  q[3].billingStatus = std::set{Billing::nonBillable};
  q[4].billingStatus = std::set{Billing::paid, Billing::nonBillable, Billing::unbilled};
  q[5].from = F, q[5].to = T, q[5].taskIds = std::set{task};
  q[5].archived = SessionQuery3::ArchiveFilterOption::activeOnly;
  q[5].billingStatus = std::set{Billing::nonBillable, Billing::paid};
  q[6] = q[5], q[6].from.reset(), q[6].to.reset();  // edges only without bounds: no filter
  const std::string billing = "((isBillable == true AND billingStatusValue IN %@) OR isBillable == false)";
  const std::string expected[] = {
      "task IN %@ " + describe({Value(Value::List{})}),
      "task.archived == true []",
      "billingStatusValue IN %@ " + describe({Value(Value::List{})}),
      "(isBillable == false) []",
      billing + " " + describe({Value(Value::List{0, 2})}),
      "((begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@) OR (begin <= %@ AND end >= %@) OR "
      "(end = nil)) AND task IN %@ AND task.archived == false AND " + billing + " " +
          describe({F, T, F, T, F, T, Value(Value::List{task}), Value(Value::List{2})}),
      "end == nil && end != nil []",
  };
  for (std::size_t i = 0; i < q.size(); ++i) {
    auto spec = q[i].predicateSpec(i == 6 ? Edge::edgeSessionsOnly : Edge::withEdgeSessions, true, at(9, 30));
    ASSERT_TRUE(spec) << "case " << i;
    EXPECT_EQ(spec->format + " " + describe(spec->arguments), expected[i]) << "case " << i;
  }
  // Running excluded comes right after the period and before the filters.
  SessionQuery3 query;
  query.from = F, query.archived = SessionQuery3::ArchiveFilterOption::activeOnly;
  EXPECT_EQ(query.predicateSpec(Edge::withoutEdgeSessions, false, at(9))->format,
            "(begin >= %@) AND (end != nil) AND task.archived == false");
}

// The session query as a value: its cache key and equality, interval and billing options.
using Archive = SessionQuery3::ArchiveFilterOption;

TEST(SessionQueryValue, HashKeyTellsEveryFieldApart) {
  const ObjectID a = ObjectID::permanent("Task", 1, "STORE"), b = ObjectID::permanent("Task", 2, "STORE");
  std::vector<SessionQuery3> queries(16);  // each differs from every other in some field
  queries[1].from = F, queries[2].to = F, queries[3].from = F + 0.000001;
  queries[4].from = Date::fromSecondsSince1970(-1.5);
  queries[5].from = F, queries[5].to = T, queries[6].from = T, queries[6].to = F;
  queries[7].taskIds = std::set<ObjectID>{}, queries[8].taskIds = std::set{a};
  queries[9].taskIds = std::set{a, b};
  queries[10].archived = Archive::activeOnly, queries[11].archived = Archive::archivedOnly;
  queries[12].billingStatus = std::set<Billing>{};
  queries[13].billingStatus = std::set{Billing::nonBillable};
  queries[14].billingStatus = std::set{Billing::unbilled};
  queries[15].billingStatus = std::set{Billing::nonBillable, Billing::unbilled};
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
  query.from = F;
  EXPECT_FALSE(query.dateInteval());
  query.to = T;
  EXPECT_EQ(query.dateInteval(), DateInterval(F, T));
  query.to = F - 60;  // before `from`: an empty interval at `from`
  EXPECT_EQ(query.dateInteval(), DateInterval(F, F));
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
