#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <functional>
#include <map>

#include "teststack/ProviderFixture.h"

namespace chronelle::testing {
namespace {

// Stored confirmed durations of nodes, and the same values recomputed from the saved rows of
// the store with SQL: a task's is the sum of its finished entries' whole seconds, a folder's
// the sum of its children's.
struct StoredDurations {
  std::map<std::int64_t, double> stored;    // node primary key → ZCONFIRMEDDURATION
  std::map<std::int64_t, double> expected;  // node primary key → recomputed
};

StoredDurations readStore(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  auto rows = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    while (sqlite3_step(statement) == SQLITE_ROW) row(statement);
    sqlite3_finalize(statement);
  };
  StoredDurations result;
  std::map<std::int64_t, std::int64_t> parentOf;
  std::map<std::int64_t, double> own;
  rows("SELECT n.Z_PK, n.ZPARENT, n.ZCONFIRMEDDURATION FROM ZNODE n", [&](sqlite3_stmt* s) {
    const auto pk = sqlite3_column_int64(s, 0);
    result.stored[pk] = sqlite3_column_double(s, 2);
    parentOf[pk] = sqlite3_column_int64(s, 1);  // 0 at the top level
    own[pk] = 0;
  });
  rows("SELECT ZTASK, ZBEGIN, ZEND FROM ZSESSION WHERE ZEND IS NOT NULL AND ZTASK IS NOT NULL",
       [&](sqlite3_stmt* s) {
         const double begin = std::floor(sqlite3_column_int64(s, 1) / 1e6);
         const double end = std::floor(sqlite3_column_int64(s, 2) / 1e6);
         own[sqlite3_column_int64(s, 0)] += end - begin;
       });
  sqlite3_close(db);
  // Every node adds its own entries' time to itself and to each ancestor.
  for (const auto& [pk, seconds] : own) {
    for (std::int64_t node = pk; node != 0; node = parentOf[node]) result.expected[node] += seconds;
  }
  return result;
}

class MainDataProviderDurationTest : public ProviderFixture {
 protected:
  // Tree: F { G { A }, B }, C at the top level.
  MainDataProviderDurationTest() {
    f = makeFolder("F", nullptr, 0);
    g = makeFolder("G", f, 0);
    a = makeTask("A", g, 0);
    b = makeTask("B", f, 1);
    c = makeTask("C", nullptr, 1);
    save();
    MainQueue::shared().runPending();
  }

  void expectDurationsMatchEntries(const std::string& step) {
    auto durations = readStore(stack->persistentStoreCoordinator()->storeFile());
    for (const auto& [pk, expected] : durations.expected) {
      EXPECT_DOUBLE_EQ(durations.stored.at(pk), expected) << "after " << step << ", node pk " << pk;
    }
    for (const auto& node :
         {std::shared_ptr<Node>(f), std::shared_ptr<Node>(g), std::shared_ptr<Node>(a),
          std::shared_ptr<Node>(b), std::shared_ptr<Node>(c)}) {
      if (node->isFault()) continue;
      EXPECT_DOUBLE_EQ(node->confirmedDuration(), durations.expected[node->objectID().primaryKey()])
          << "after " << step << ", in memory " << node->name();
    }
  }

  std::shared_ptr<Folder> f, g;
  std::shared_ptr<Task> a, b, c;
};

TEST_F(MainDataProviderDurationTest, ConfirmedDurationsFollowEveryKindOfWrite) {
  std::shared_ptr<Session> e1, e2, e3, copy;
  struct Step {
    const char* name;
    std::function<void()> run;
  };
  const Step steps[] = {
      {"create",
       [&] {
         e1 = write(
             provider->createTimeEntry(utc(9) + 0.7, utc(10) + 0.2, a->objectID(), false, {}));
       }},
      {"create more",
       [&] {
         e2 = write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {}));
         e3 = write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {}));
       }},
      {"create running",
       [&] { write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {})); }},
      {"re-time",
       [&] {
         write(
             provider->updateTimeEntry(e1->objectID(), {{TimeEntryChangeKey::begin, utc(8, 15)}}));
       }},
      {"move to top-level task",
       [&] {
         write(provider->updateTimeEntry(e1->objectID(),
                                         {{TimeEntryChangeKey::taskId, c->objectID()}}));
       }},
      {"move and re-time into folder",
       [&] {
         write(
             provider->updateTimeEntry(e3->objectID(), {{TimeEntryChangeKey::taskId, a->objectID()},
                                                        {TimeEntryChangeKey::end, utc(11, 45)}}));
       }},
      {"re-time several",
       [&] {
         write(provider->updateTimeEntries({e2->objectID(), e3->objectID()},
                                           {{TimeEntryChangeKey::end, utc(13)}}));
       }},
      {"duplicate", [&] { copy = write(provider->duplicateTimeEntry(e2, true)); }},
      {"delete", [&] { write(provider->deleteTimeEntries({e2})); }},
      {"merge",
       [&] {
         write(provider->mergeSessions(
             {*e1->identifier(), *copy->identifier()}, *a->identifier(),
             MainDataProvider::SessionMergeType::byPushingSessionsTogether));
       }},
      {"move task out of its folders",
       [&] {
         write(
             provider->moveNodes({MoveNodeOption(a->objectID(), std::nullopt, OrderOption::last)}));
       }},
      {"move task into a folder",
       [&] {
         write(provider->moveNodes(
             {MoveNodeOption(a->objectID(), g->objectID(), OrderOption::order(0))}));
       }},
      {"delete task", [&] { write(provider->deleteNodes({b->objectID()})); }},
  };
  for (const auto& step : steps) {
    step.run();
    expectDurationsMatchEntries(step.name);
  }
  // A came back into G with the merged entry and e3, so the folders above it hold time again.
  EXPECT_GT(a->confirmedDuration(), 0);
  EXPECT_DOUBLE_EQ(g->confirmedDuration(), a->confirmedDuration());
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), g->confirmedDuration());
}

}  // namespace
}  // namespace chronelle::testing
