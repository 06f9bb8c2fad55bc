// The session query: the predicate texts and arguments it hands to the store, row by row with
// the running-entry additions at and around each boundary of "now"; what they select on stored
// entries, the same in SQL, in memory and through `includes`; the query as a value.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/ObjectPredicateSubject.h"
#include "chronelle/data/SessionQuery3.h"
#include "chronelle/platform/Localizer.h"

namespace chronelle::testing {
namespace {

using Edge = EdgeSessionPredicateOption;
using Billing = SessionQuery3::BillingStatusOption;
using Archive = SessionQuery3::ArchiveFilterOption;

const Date F = utc(9);
const Date T = utc(10);

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
  const Date mid = utc(9, 30), late = utc(11);
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
      {F, T, o, true, utc(8), O + ") FFTT"},
      {F, T, o, true, F, O + nilBefore + " FFTTF"},
      {T, F, o, true, mid, O + nilBefore + " TTFFF"},
      {F, N, e, true, F, FE + ") FFF"},
      {F, N, e, true, utc(9, 1), FE + " OR (begin <= %@ AND end = nil)) FFFF"},
      {F, N, r, true, late, "(begin >= %@) F"},
      {F, N, w, true, late, "(begin >= %@) F"},
      {F, N, o, true, utc(8), "((begin < %@ AND end > %@)) FF"},
      {F, N, o, true, F, "((begin < %@ AND end > %@)" + nilBefore + " FFF"},
      {N, T, e, true, T, TE + " OR (end = nil)) TTT"},
      {N, T, e, true, utc(10, 1), TE + nilBefore + " TTTT"},
      {N, T, r, false, utc(8), TE + ") AND (end != nil) TTT"},
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

// The session query as a value: its cache key and equality, interval and billing options.

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
  EXPECT_FALSE((SessionQuery3{F, {}, {}, {}, {}}.dateInteval()));
  EXPECT_FALSE((SessionQuery3{{}, T, {}, {}, {}}.dateInteval()));
  EXPECT_EQ((SessionQuery3{F, T, {}, {}, {}}.dateInteval()), DateInterval(F, T));
  // `to` before `from`: an empty interval at `from`.
  EXPECT_EQ((SessionQuery3{F, F - 60, {}, {}, {}}.dateInteval()), DateInterval(F, F));
}

// Raw value → option → stored status and display name ("Paid" localised).
TEST(SessionQueryValue, BillingOptionsMapOntoStoredStatuses) {
  const std::pair<int, std::string> cases[] = {{-2, "-"},         {-1, "none Non-billable"},
                                               {0, "0 Unbilled"}, {1, "1 Billed"},
                                               {2, "2 Bezahlt"},  {3, "-"}};
  Localizer::setTable({{"Paid", "Bezahlt"}});
  for (const auto& [raw, expected] : cases) {
    const auto option = SessionQuery3::billingStatusOptionFromRaw(raw);
    const auto status = option ? toBillingStatus(*option) : std::nullopt;
    const std::string stored = status ? std::to_string(status->rawValue()) : "none";
    EXPECT_EQ(option ? stored + " " + localizedName(*option) : "-", expected) << "raw " << raw;
  }
  Localizer::reset();
}

std::string describe(const std::vector<Value>& values) {
  std::string text;
  for (const auto& v : values) text += (text.empty() ? "" : ", ") + v.description();
  return "[" + text + "]";
}

class SessionQueryStore : public StackFixture {
 protected:
  // Entries on 2026-03-10 (day 0) around the period 09:00–10:00, and running ones.
  void SetUp() override {
    task = makeTask("Work");
    other = makeTask("Other");
    const std::map<std::string, std::pair<Date, std::optional<Date>>> entries = {
        {"crossesFrom", {utc(8, 30), utc(9, 30)}},  {"startsAtTo", {utc(10), utc(10, 30)}},
        {"spans", {utc(8), utc(11)}},                {"endsAtFrom", {utc(8), utc(9)}},
        {"inside", {utc(9, 10), utc(9, 50)}},        {"crossesTo", {utc(9, 30), utc(10, 30)}},
        {"exact", {utc(9), utc(10)}},                {"runningSinceDayBefore", {utc(20, 0, -1), std::nullopt}},
        {"runningSince0915", {utc(9, 15), std::nullopt}}, {"runningSinceNextDay", {utc(8, 0, 1), std::nullopt}},
    };
    for (const auto& [name, span] : entries) names[makeSession(task, span.first, span.second)] = name;
    save();
  }

  // Names of the entries the store selects with `predicate`, sorted by name.
  std::string selectedBySql(const std::optional<Predicate>& predicate) {
    FetchRequest request(Session::kEntityName);
    request.predicate = predicate;
    return render(context().fetch(request));
  }
  // Names of the entries for which `test` holds.
  template <class Test>
  std::string selectedBy(Test test) {
    ObjectSet matching;
    for (const auto& [session, name] : names) {
      if (test(*session)) matching.push_back(session);
    }
    return render(matching);
  }
  std::string render(const ObjectSet& objects) {
    std::vector<std::string> list;
    for (const auto& o : objects) list.push_back(names.at(std::dynamic_pointer_cast<Session>(o)));
    std::sort(list.begin(), list.end());
    std::string text;
    for (const auto& n : list) text += (text.empty() ? "" : " ") + n;
    return text;
  }

  std::shared_ptr<Task> task, other;
  std::map<std::shared_ptr<Session>, std::string> names;
};

// Each row: a query, the predicate's text after the period (with its arguments) where the
// row is about a filter step, and the entries selected, the same in SQL, evaluated in memory
// and, for the full query with running entries, through `includes`.
TEST_F(SessionQueryStore, QueriesSelectTheSameInSqlAndInMemory) {
  // Spread the entries over two tasks, the archived Other among them, and billing states:
  // by name, every third on Other, every second billable, statuses 0 1 2 in turn.
  std::map<std::string, std::shared_ptr<Session>> byName;
  for (const auto& [session, name] : names) byName[name] = session;
  int i = 0;
  for (const auto& [name, session] : byName) {
    session->setTask(i % 3 == 0 ? other : task), session->setIsBillable(i % 2 == 0);
    session->setBillingStatusValue(static_cast<std::int16_t>(i++ % 3));
  }
  other->setArchived(true);
  save();
  const auto e = Edge::withEdgeSessions, r = Edge::withRightEdgeSessions, w = Edge::withoutEdgeSessions,
             o = Edge::edgeSessionsOnly;
  const Date f = utc(9), t = utc(10), inside = utc(9, 40), after = utc(12);
  const std::set<Billing> nonBillableOrPaid{Billing::nonBillable, Billing::paid};
  const std::string billing = "((isBillable == true AND billingStatusValue IN %@) OR isBillable == false)";
  const std::string period = "((begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@) OR "
                             "(begin <= %@ AND end >= %@))";
  const std::string nothing = describe({Value(Value::List{})});
  const std::string edges = "crossesFrom crossesTo exact inside ";
  const std::string begunBefore = "runningSince0915 runningSinceDayBefore ";
  const std::string running = begunBefore + "runningSinceNextDay";
  const std::string others = "crossesFrom exact runningSinceDayBefore startsAtTo";
  const SessionQuery3 ft{f, t, {}, {}, {}};
  auto tasks = [](std::set<ObjectID> ids) { return SessionQuery3{{}, {}, ids, {}, {}}; };
  auto archive = [](Archive option) { return SessionQuery3{{}, {}, {}, option, {}}; };
  auto billed = [](std::set<Billing> states) { return SessionQuery3{{}, {}, {}, {}, states}; };
  const struct {
    SessionQuery3 query;
    Edge option;
    bool running;
    Date now;
    std::string format, selected;  // format "": not compared (the period table has it)
  } rows[] = {
      {ft, e, true, utc(12, 0, 1), "", edges + begunBefore + "spans"},
      {ft, e, true, inside, "", edges + running + " spans"},
      {{utc(9, 0, 2), utc(10, 0, 2), {}, {}, {}}, e, true, inside, "", ""},
      {ft, e, false, inside, "", edges + "spans"},
      {ft, r, true, inside, "", "crossesTo exact inside runningSince0915"},
      {ft, w, true, inside, "", "exact inside runningSince0915"},
      {ft, w, true, after, "", "exact inside"},
      {ft, o, true, after, "", "crossesFrom crossesTo runningSinceDayBefore spans"},
      {ft, o, true, utc(7), "", "crossesFrom crossesTo spans"},
      {tasks({other->objectID()}), e, true, inside,
       "task IN %@ " + describe({Value(Value::List{other->objectID()})}), others},
      // An emptied set is a filter that nothing passes, unlike an absent one.
      {tasks({}), e, true, inside, "task IN %@ " + nothing, ""},
      {archive(Archive::activeOnly), e, true, inside, "task.archived == false []",
       "crossesTo endsAtFrom inside runningSince0915 runningSinceNextDay spans"},
      {archive(Archive::archivedOnly), e, true, inside, "task.archived == true []", others},
      {billed({}), e, true, inside, "billingStatusValue IN %@ " + nothing, ""},
      {billed({Billing::nonBillable}), e, true, inside, "(isBillable == false) []",
       "crossesTo exact runningSince0915 runningSinceNextDay startsAtTo"},
      {billed({Billing::unbilled, Billing::billed}), e, true, inside,
       "((isBillable == true AND billingStatusValue IN %@)) [(0, 1)]",
       "crossesFrom inside runningSinceDayBefore"},
      {billed(nonBillableOrPaid), e, true, inside, billing + " [(2)]",
       "crossesTo endsAtFrom exact runningSince0915 runningSinceNextDay spans startsAtTo"},
      // Running excluded comes right after the period and before the filters.
      {{f, t, std::nullopt, Archive::activeOnly, nonBillableOrPaid}, e, false, inside,
       period + " AND (end != nil) AND task.archived == false AND " + billing + " " +
           describe({f, t, f, t, f, t, Value(Value::List{2})}),
       "crossesTo spans"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.query.description() + " " + toString(row.option) + " running " +
                 std::to_string(row.running) + " at " + row.now.isoString());
    time.set(row.now);
    const auto predicate = row.query.predicate(row.option, row.running);
    if (!row.format.empty()) {
      const auto spec = row.query.predicateSpec(row.option, row.running, row.now);
      EXPECT_EQ(spec->format + " " + describe(spec->arguments), row.format);
    }
    EXPECT_EQ(selectedBySql(predicate), row.selected);
    EXPECT_EQ(selectedBy([&](const Session& s) { return predicate->evaluate(ObjectPredicateSubject(s)); }),
              row.selected);
    if (row.option == e && row.running) {
      EXPECT_EQ(selectedBy([&](const Session& s) { return row.query.includes(s); }), row.selected);
    }
  }
  // An entry without a task passes the task test in memory.
  const SessionQuery3 othersOnly{{}, {}, std::set{other->objectID()}, {}, {}};
  EXPECT_TRUE(othersOnly.includes(*makeSession(nullptr, utc(9, 5), utc(9, 6))));
}

}  // namespace
}  // namespace chronelle::testing
