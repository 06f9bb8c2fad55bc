// Reads on a broken store log their fixed message and return their empty result.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/RuleSet.h"

namespace chronelle::testing {
namespace {

// Drops every table of the store behind the stack's back, as a damaged file would look.
void dropAllTables(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::string drops;
  auto collect = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) += "DROP TABLE \"" + std::string(values[0]) + "\";";
    return 0;
  };
  sqlite3_exec(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'", collect,
               &drops, nullptr);
  ASSERT_FALSE(drops.empty());
  EXPECT_EQ(sqlite3_exec(db, drops.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

using BaseDataProviderError = StackFixture;

TEST_F(BaseDataProviderError, ReadsOnABrokenStoreLogAndReturnEmpty) {
  auto task = makeTask("Task");
  save();
  BaseDataProvider provider(stack->viewContext());
  dropAllTables(stack->persistentStoreCoordinator()->storeFile());

  enum class Route { handler, logger };
  struct Case {
    const char* message;
    Route route;
    std::function<bool()> readIsEmpty;
  };
  const std::vector<Case> cases = {
      {"Error on fetching count in getTotalTasksCount", Route::handler,
       [&] { return provider.getTotalTasksCount() == 0; }},
      {"Error on fetching all tasks in getAllTasks", Route::handler, [&] { return provider.getAllTasks(true).empty(); }},
      {"Error on getting task", Route::logger, [&] { return provider.getTask(*task->identifier()) == nullptr; }},
      {"Error on getting folder", Route::logger, [&] { return provider.getFolder("x") == nullptr; }},
      {"Error on getting recent tasks", Route::logger, [&] { return provider.getRecentTasks(5).empty(); }},
      {"Error on getting children of folder", Route::handler,
       [&] { return provider.getChildren(nullptr, NodeFilter::allNodes).empty(); }},
      {"Error on getting time entries", Route::handler, [&] { return provider.getSessions(SessionQuery3{}).empty(); }},
      {"Error on getting session", Route::logger, [&] { return provider.getSession("x") == nullptr; }},
      {"Error on getting time entries count", Route::handler, [&] { return provider.getSessionCount({task}) == 0; }},
      {"Error on getting oldest time entry", Route::handler, [&] { return provider.getOldestSession({}) == nullptr; }},
      {"Error on getting latest time entry", Route::handler,
       [&] { return provider.getLatestTimeEntry({task}) == nullptr; }},
      {"Error on getting running time entries", Route::handler,
       [&] { return provider.getRunningTimeEntries().empty(); }},
      {"Error on getting active rule sets", Route::handler, [&] { return provider.getActiveRuleSets().empty(); }},
      {"Error on getting logs", Route::handler,
       [&] { return provider.getActivityLogs(std::nullopt, std::nullopt).empty(); }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("case: ") + c.message);
    logs.clear();
    bool empty = false;
    EXPECT_NO_THROW(empty = c.readIsEmpty());
    EXPECT_TRUE(empty);
    const auto records = logs.records("Data");
    ASSERT_EQ(records.size(), 1u) << logs.transcript();
    EXPECT_EQ(records[0].message, c.message);
    EXPECT_EQ(records[0].level, LogLevel::error);
    ASSERT_EQ(records[0].metadata.count("error"), 1u);
    EXPECT_FALSE(records[0].metadata.at("error").toString().empty());
    if (c.route == Route::handler) {
      EXPECT_EQ(records[0].metadata.at("contextType").toString(), "mainQueueConcurrencyType");
    } else {
      EXPECT_EQ(records[0].metadata.size(), 1u);
      EXPECT_EQ(records[0].function, "error(_:_:file:)");
    }
  }

  // The lookup by ID logs nothing.
  logs.clear();
  EXPECT_EQ(provider.getObject(ObjectID::permanent("Task", 77, stack->persistentStoreCoordinator()->storeIdentifier())),
            nullptr);
  EXPECT_TRUE(logs.records("Data").empty()) << logs.transcript();
}

TEST_F(BaseDataProviderError, HandlerMessageDefaultsAndNamesTheContext) {
  auto background = stack->privateContext();
  BaseDataProvider provider(background);
  provider.handleContextError(std::runtime_error("boom"));
  const auto records = logs.records("Data");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "Context operation error");
  EXPECT_EQ(records[0].metadata.at("error").toString(), "boom");
  EXPECT_EQ(records[0].metadata.at("contextType").toString(), "privateQueueConcurrencyType");
}

}  // namespace
}  // namespace chronelle::testing
