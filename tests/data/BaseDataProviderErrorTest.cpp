// Reads on a broken store log their fixed message and return their empty result.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <tuple>

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

  // Each read, and whether it goes through the context's error handler (which names the
  // context) or straight to the logger.
  const bool handler = true, logger = false;
  const std::tuple<const char*, bool, std::function<bool()>> cases[] = {
      {"Error on fetching count in getTotalTasksCount", handler, [&] { return !provider.getTotalTasksCount(); }},
      {"Error on fetching all tasks in getAllTasks", handler, [&] { return provider.getAllTasks(true).empty(); }},
      {"Error on getting task", logger, [&] { return !provider.getTask(*task->identifier()); }},
      {"Error on getting folder", logger, [&] { return !provider.getFolder("x"); }},
      {"Error on getting recent tasks", logger, [&] { return provider.getRecentTasks(5).empty(); }},
      {"Error on getting children of folder", handler,
       [&] { return provider.getChildren(nullptr, NodeFilter::allNodes).empty(); }},
      {"Error on getting time entries", handler, [&] { return provider.getSessions(SessionQuery3{}).empty(); }},
      {"Error on getting session", logger, [&] { return !provider.getSession("x"); }},
      {"Error on getting time entries count", handler, [&] { return !provider.getSessionCount({task}); }},
      {"Error on getting oldest time entry", handler, [&] { return !provider.getOldestSession({}); }},
      {"Error on getting latest time entry", handler, [&] { return !provider.getLatestTimeEntry({task}); }},
      {"Error on getting running time entries", handler, [&] { return provider.getRunningTimeEntries().empty(); }},
      {"Error on getting active rule sets", handler, [&] { return provider.getActiveRuleSets().empty(); }},
      {"Error on getting logs", handler, [&] { return provider.getActivityLogs(std::nullopt, std::nullopt).empty(); }},
  };
  for (const auto& [message, viaHandler, readIsEmpty] : cases) {
    SCOPED_TRACE(message);
    logs.clear();
    bool empty = false;
    EXPECT_NO_THROW(empty = readIsEmpty());
    EXPECT_TRUE(empty);
    const auto records = logs.records("Data");
    ASSERT_EQ(records.size(), 1u) << logs.transcript();
    EXPECT_EQ(records[0].message, message);
    EXPECT_EQ(records[0].level, LogLevel::error);
    EXPECT_NE(records[0].metadata.at("error").toString(), "");
    EXPECT_EQ(viaHandler ? records[0].metadata.at("contextType").toString() : records[0].function,
              viaHandler ? "mainQueueConcurrencyType" : "error(_:_:file:)");
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
