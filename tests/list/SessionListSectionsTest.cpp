// How the session list cuts entries into day sections, on a real store in Europe/Berlin
// (the manual clock stands at Tuesday 2026-03-10 12:00 local time).

#include <cmath>

#include "ListFixture.h"
#include "chronelle/platform/MainQueue.h"

namespace chronelle::testing {
namespace {

using SessionListSections = ListFixture;

TEST_F(SessionListSections, CutsEntriesAtMidnightIntoDaySections) {
  struct Entry {
    int beginDay, beginHour, beginMinute;
    std::optional<std::pair<int, int>> end;  // day, hour (minute 0); absent: running
  };
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    std::optional<std::pair<int, int>> queryFrom;  // day, hour
    std::optional<std::pair<int, int>> queryTo;
    const char* sections;
    std::size_t fetched = 1;
  };
  const std::vector<Case> cases = {
      {"22:00 to 02:00 splits in two", {{8, 22, 0, {{9, 2}}}}, {}, {},
       "2026-03-09: [09 00:00:00-09 02:00:00 before] | 2026-03-08: [08 22:00:00-08 23:59:59 after]"},
      {"an end exactly at midnight gives one fragment", {{8, 22, 0, {{9, 0}}}}, {}, {},
       "2026-03-08: [08 22:00:00-08 23:59:59 after]"},
      {"a running entry that began yesterday gives two", {{9, 20, 0, {}}}, {}, {},
       "2026-03-10: [10 00:00:00-10 12:00:00 before] | 2026-03-09: [09 20:00:00-09 23:59:59 after]"},
      {"a zero-length entry gives one fragment", {{8, 10, 0, {{8, 10}}}}, {}, {},
       "2026-03-08: [08 10:00:00-08 10:00:00 none]"},
      {"a query starting today drops yesterday's part", {{9, 20, 0, {}}}, {{10, 0}}, {},
       "2026-03-10: [10 00:00:00-10 12:00:00 before]"},
      {"a query ending at midnight drops the next day", {{8, 22, 0, {{9, 2}}}}, {{8, 0}}, {{9, 0}},
       "2026-03-08: [08 22:00:00-08 23:59:59 after]"},
      {"three days: the middle one is covered on both sides", {{6, 23, 0, {{8, 1}}}}, {}, {},
       "2026-03-08: [08 00:00:00-08 01:00:00 before] | 2026-03-07: [07 00:00:00-07 23:59:59 beforeAndAfter] | "
       "2026-03-06: [06 23:00:00-06 23:59:59 after]"},
      {"the short night of the clock change splits at local midnight", {{28, 22, 0, {{29, 5}}}}, {}, {},
       "2026-03-29: [29 00:00:00-29 05:00:00 before] | 2026-03-28: [28 22:00:00-28 23:59:59 after]"},
      {"days newest first, fragments latest first",
       {{8, 9, 0, {{8, 10}}}, {9, 7, 0, {{9, 8}}}, {8, 14, 0, {{8, 15}}}, {8, 23, 0, {{9, 1}}}}, {}, {},
       "2026-03-09: [09 07:00:00-09 08:00:00 none] [09 00:00:00-09 01:00:00 before] | "
       "2026-03-08: [08 23:00:00-08 23:59:59 after] [08 14:00:00-08 15:00:00 none] [08 09:00:00-08 10:00:00 none]",
       4},
      {"entries outside the query's period are not listed", {{5, 9, 0, {{5, 10}}}, {8, 9, 0, {{8, 10}}}}, {{7, 0}},
       {{9, 0}}, "2026-03-08: [08 09:00:00-08 10:00:00 none]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& session : context().fetch(Session::fetchRequest())) context().deleteObject(session);
    context().save();
    auto task = makeTask("Work");
    for (const auto& e : c.entries) {
      std::optional<Date> end;
      if (e.end) end = local(e.end->first, e.end->second);
      makeSession(task, local(e.beginDay, e.beginHour, e.beginMinute), end);
    }
    context().save();
    SessionQuery3 query;
    if (c.queryFrom) query.from = local(c.queryFrom->first, c.queryFrom->second);
    if (c.queryTo) query.to = local(c.queryTo->first, c.queryTo->second);
    delegate->batches.clear();
    auto list = makeList(query);
    EXPECT_EQ(describe(list->sections()), c.sections);
    EXPECT_EQ(list->sessionsCount(), c.fetched);
    EXPECT_TRUE(delegate->batches.empty()) << "the initial fetch does not tell the delegate";
  }
}

TEST_F(SessionListSections, FragmentValuesAndLookups) {
  auto task = makeTask("Work");
  auto split = makeSession(task, local(8, 22), local(9, 2));
  split->setIsBillable(true);
  split->setHourlyRate(60);
  auto billable = makeSession(task, local(9, 9), local(9, 10, 1));
  billable->setIsBillable(true);
  billable->setHourlyRate(50);
  auto unpaid = makeSession(task, local(9, 11), local(9, 12));
  unpaid->setIsBillable(false);
  unpaid->setHourlyRate(50);
  context().save();
  auto list = makeList();

  // Each fragment earns for its own part only: 22:00 to the end of the day and 00:00 to 02:00.
  const auto splitFragments = list->fragments(*split);
  ASSERT_EQ(splitFragments.size(), 2u);
  EXPECT_EQ(describe(*splitFragments[0]), "09 00:00:00-09 02:00:00 before");
  EXPECT_DOUBLE_EQ(splitFragments[0]->revenue(), 120.0);
  EXPECT_DOUBLE_EQ(splitFragments[1]->revenue(), 120.0);
  EXPECT_DOUBLE_EQ(splitFragments[1]->duration(), 7200.0);
  ASSERT_EQ(list->fragments(*billable).size(), 1u);
  EXPECT_DOUBLE_EQ(list->fragments(*billable)[0]->revenue(), 50.83);
  EXPECT_DOUBLE_EQ(list->fragments(*billable)[0]->duration(), 3660.0);
  EXPECT_DOUBLE_EQ(list->fragments(*unpaid)[0]->revenue(), 0.0);

  // Lookups by index path: inside, and every way of being outside.
  EXPECT_EQ(list->sessionFragment({0, 0}), list->fragments(*unpaid)[0]);
  EXPECT_EQ(list->sessionFragment({0, 2}), splitFragments[0]);
  EXPECT_EQ(list->sessionFragment({1, 0}), splitFragments[1]);
  EXPECT_EQ(list->sessionFragment({0, 3}), nullptr);
  EXPECT_EQ(list->sessionFragment({2, 0}), nullptr);

  // An interval is never negative; an open fragment runs to now.
  const SessionFragment backwards(split, local(9, 5), local(9, 4), SessionEdge::none);
  EXPECT_EQ(backwards.interval().start(), local(9, 5));
  EXPECT_DOUBLE_EQ(backwards.duration(), 0.0);
  const SessionFragment open(split, local(10, 11), std::nullopt, SessionEdge::none);
  EXPECT_DOUBLE_EQ(open.duration(), 3600.0);
}

TEST_F(SessionListSections, ChangeCallbacksApplyOnlyWhatTheyCollected) {
  auto task = makeTask("Work");
  auto early = makeSession(task, local(8, 9), local(8, 10));
  auto late = makeSession(task, local(9, 9), local(9, 10));
  context().save();
  auto list = makeList();
  auto& frc = list->fetchedResultController();

  // A batch with nothing to apply still ends with one call with two empty lists.
  list->controllerWillChangeContent(frc);
  list->controllerDidChange(frc, task, std::nullopt, FetchedResultsChangeType::insert, IndexPath{0, 0});
  list->controllerDidChangeContent(frc);
  ASSERT_EQ(delegate->batches.size(), 1u);
  EXPECT_TRUE(delegate->batches[0].deleted.empty());
  EXPECT_TRUE(delegate->batches[0].inserted.empty());

  // An unknown change type is logged and ignored.
  logs.clear();
  list->controllerWillChangeContent(frc);
  list->controllerDidChange(frc, late, IndexPath{0, 0}, static_cast<FetchedResultsChangeType>(9), std::nullopt);
  list->controllerDidChangeContent(frc);
  const auto records = logs.records("SessionFetchedResultsController");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::critical);
  EXPECT_EQ(records[0].message, "Have new types on NSFetchedResultsChangeType");
  EXPECT_TRUE(delegate->batches[1].deleted.empty());
  EXPECT_EQ(describe(list->sections()), "2026-03-09: [09 09:00:00-09 10:00:00 none] | "
                                        "2026-03-08: [08 09:00:00-08 10:00:00 none]");

  // Removing the last fragment of a day removes the day, reported at its old place.
  const auto earlyFragment = list->fragments(*early).at(0);
  context().deleteObject(early);
  context().save();
  ASSERT_EQ(delegate->batches.size(), 3u);
  ASSERT_EQ(delegate->batches[2].deleted.size(), 1u);
  EXPECT_EQ(delegate->batches[2].deleted[0].indexPath, (IndexPath{1, 0}));
  EXPECT_EQ(delegate->batches[2].deleted[0].object, earlyFragment);
  EXPECT_TRUE(delegate->batches[2].inserted.empty());
  EXPECT_EQ(describe(list->sections()), "2026-03-09: [09 09:00:00-09 10:00:00 none]");
  EXPECT_EQ(list->sessionsCount(), 1u);
}

}  // namespace
}  // namespace chronelle::testing
