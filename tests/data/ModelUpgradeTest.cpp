// A store written by the previous model version: it opens, keeps every entry and total, and
// the recount that follows each save reads the task's sum that the migrated store keeps.
#include <gtest/gtest.h>

#include <mutex>

#include "teststack/ProviderFixture.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/store/StatementObserver.h"
#include "chronelle/store/StoreFile.h"

namespace chronelle::testing {
namespace {

class ModelUpgradeTest : public ProviderFixture {};

TEST_F(ModelUpgradeTest, APreviousVersionStoreKeepsItsEntriesAndRecountsFromTheSumItKeeps) {
  closeStack();
  const auto file = directory.path() / "store" / "Chronelle.sqlite";
  std::filesystem::remove(file);
  {
    // Entries of 1, 2 and 3 hours on one task, written as the previous version did.
    auto coordinator = std::make_shared<PersistentStoreCoordinator>(ChronelleModel::build(ChronelleModel::kVersion - 1));
    coordinator->addPersistentStore(file);
    auto old = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
    auto task = old->insertNewObject(Task::kEntityName);
    task->setValue("name", "A");
    task->setValue("confirmedDuration", 6 * 3600.0);
    for (int hours = 1; hours <= 3; ++hours) {
      auto entry = old->insertNewObject(Session::kEntityName);
      entry->setValue("identifier", "E" + std::to_string(hours));
      entry->setValue("begin", utc(hours));
      entry->setValue("end", utc(2 * hours));
      entry->setValue("confirmedDuration", hours * 3600.0);
      entry->setObject("task", task);
    }
    old->save();
  }

  std::mutex sqlMutex;  // the observer runs on whichever thread runs a statement
  std::vector<std::string> sums;
  setStatementObserver([&](const std::string& sql) {
    std::lock_guard lock(sqlMutex);
    // Reads only: the migration's fill of the kept sums runs one too.
    if (sql.starts_with("SELECT") && sql.find("SUM(") != std::string::npos && sql.find("ZSESSION") != std::string::npos) {
      sums.push_back(sql);
    }
  });
  openStack();
  startProvider();

  std::string entries;
  for (const auto& entry : provider->getSessions(std::nullopt)) {
    entries += entry->identifier().value_or("?") + ":" + entry->task()->name() + ":" +
               std::to_string(static_cast<int>(entry->confirmedDuration())) + " ";
  }
  EXPECT_EQ(entries, "E1:A:3600 E2:A:7200 E3:A:10800 ");

  // E2 one hour longer: the task is recounted from the store.
  const auto e2 = provider->getSession("E2");
  ASSERT_NE(e2, nullptr);
  write(provider->updateTimeEntry(e2->objectID(), {{TimeEntryChangeKey::end, utc(5)}}));
  setStatementObserver(nullptr);
  EXPECT_EQ(e2->task()->confirmedDuration(), 7 * 3600.0);

  ASSERT_FALSE(sums.empty()) << "the recount ran no sum in the store";
  auto reader = StoreFileReader::openReadOnly(file, false);
  for (const auto& sql : sums) {
    std::string plan;
    for (const auto& row : reader->rows("EXPLAIN QUERY PLAN " + sql)) plan += row.back() + "; ";
    EXPECT_NE(plan.find("ZSESSION_ZTASK_ZCONFIRMEDDURATION_SUM USING INTEGER PRIMARY KEY"), std::string::npos)
        << sql << "\nplan: " << plan;
  }
}

}  // namespace
}  // namespace chronelle::testing
