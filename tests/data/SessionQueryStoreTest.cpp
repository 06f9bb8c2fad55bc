// The session query's predicates on stored time entries: the store's SQL, the in-memory
// evaluation and `includes` must select the same entries.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/ObjectPredicateSubject.h"
#include "chronelle/data/SessionQuery3.h"

namespace chronelle::testing {
namespace {

using Edge = EdgeSessionPredicateOption;

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

TEST_F(SessionQueryStore, PeriodExamplesAgreeInSqlAndInMemory) {
  struct Case {
    const char* name;
    Date from, to, now;
    Edge option;
    bool running;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"edges, period in the past", utc(9), utc(10), utc(12, 0, 1), Edge::withEdgeSessions, true,
       "crossesFrom crossesTo exact inside runningSince0915 runningSinceDayBefore spans"},
      {"edges, period containing now", utc(9), utc(10), utc(9, 40), Edge::withEdgeSessions, true,
       "crossesFrom crossesTo exact inside runningSince0915 runningSinceDayBefore runningSinceNextDay spans"},
      {"edges, period in the future", utc(9, 0, 2), utc(10, 0, 2), utc(9, 40), Edge::withEdgeSessions, true, ""},
      {"edges, running excluded", utc(9), utc(10), utc(9, 40), Edge::withEdgeSessions, false,
       "crossesFrom crossesTo exact inside spans"},
      {"right edge", utc(9), utc(10), utc(9, 40), Edge::withRightEdgeSessions, true,
       "crossesTo exact inside runningSince0915"},
      {"without edges, now inside", utc(9), utc(10), utc(9, 40), Edge::withoutEdgeSessions, true,
       "exact inside runningSince0915"},
      {"without edges, now after", utc(9), utc(10), utc(12), Edge::withoutEdgeSessions, true, "exact inside"},
      {"edges only, now after", utc(9), utc(10), utc(12), Edge::edgeSessionsOnly, true,
       "crossesFrom crossesTo runningSinceDayBefore spans"},
      {"edges only, now before", utc(9), utc(10), utc(7), Edge::edgeSessionsOnly, true, "crossesFrom crossesTo spans"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("case: ") + c.name);
    time.set(c.now);
    SessionQuery3 query;
    query.from = c.from;
    query.to = c.to;
    const auto predicate = query.predicate(c.option, c.running);
    EXPECT_EQ(selectedBySql(predicate), c.expected);
    EXPECT_EQ(selectedBy([&](const Session& s) { return predicate->evaluate(ObjectPredicateSubject(s)); }),
              c.expected);
    if (c.option == Edge::withEdgeSessions && c.running) {
      EXPECT_EQ(selectedBy([&](const Session& s) { return query.includes(s); }), c.expected);
    }
  }
}

TEST_F(SessionQueryStore, FiltersAgreeInSqlAndInMemory) {
  time.set(utc(9, 40));
  // Spread the entries over two tasks, an archived one among them, and billing states.
  std::map<std::string, std::shared_ptr<Session>> byName;
  for (const auto& [session, name] : names) byName[name] = session;
  int i = 0;
  for (const auto& [name, session] : byName) {
    session->setTask(i % 3 == 0 ? other : task), session->setIsBillable(i % 2 == 0);
    session->setBillingStatusValue(static_cast<std::int16_t>(i % 3));
    ++i;
  }
  other->setArchived(true);
  save();

  std::vector<SessionQuery3> queries(5);
  queries[0].taskIds = std::set<ObjectID>{other->objectID()};
  queries[1].archived = SessionQuery3::ArchiveFilterOption::activeOnly;
  queries[2].archived = SessionQuery3::ArchiveFilterOption::archivedOnly;
  queries[3].billingStatus = std::set{SessionQuery3::BillingStatusOption::nonBillable,
                                      SessionQuery3::BillingStatusOption::paid};
  queries[4] = queries[3];
  queries[4].from = utc(9);
  queries[4].to = utc(10);
  queries[4].archived = SessionQuery3::ArchiveFilterOption::activeOnly;

  for (std::size_t q = 0; q < queries.size(); ++q) {
    const auto predicate = queries[q].predicate(Edge::withEdgeSessions, true);
    const std::string sql = selectedBySql(predicate);
    EXPECT_EQ(sql, selectedBy([&](const Session& s) { return queries[q].includes(s); })) << "query " << q;
    EXPECT_NE(sql, "") << "query " << q << " should select something";
    EXPECT_NE(sql, selectedBySql(std::nullopt)) << "query " << q << " should filter something";
  }

  // Emptied sets select nothing, in SQL and in memory; absent ones select everything.
  std::vector<SessionQuery3> emptied(2);
  emptied[0].taskIds = std::set<ObjectID>{};
  emptied[1].billingStatus = std::set<SessionQuery3::BillingStatusOption>{};
  for (std::size_t q = 0; q < emptied.size(); ++q) {
    EXPECT_EQ(selectedBySql(emptied[q].predicate(Edge::withEdgeSessions, true)), "") << "emptied " << q;
    EXPECT_EQ(selectedBy([&](const Session& s) { return emptied[q].includes(s); }), "") << "emptied " << q;
  }
  EXPECT_EQ(selectedBySql(SessionQuery3{}.predicate(Edge::withEdgeSessions, true)), selectedBySql(std::nullopt));

  // An entry without a task passes the task test in memory.
  auto orphan = makeSession(nullptr, utc(9, 5), utc(9, 6));
  EXPECT_TRUE(queries[0].includes(*orphan));
  EXPECT_FALSE(queries[0].includes(*makeSession(task, utc(9, 5), utc(9, 6))));
  EXPECT_TRUE(queries[0].includes(*makeSession(other, utc(9, 5), utc(9, 6))));
}

}  // namespace
}  // namespace chronelle::testing
