// Setting up the store and running write operations through the stack.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

// The first record with `message`, or null.
const LogRecord* findRecord(const std::vector<LogRecord>& records, const std::string& message) {
  for (const auto& r : records) {
    if (r.message == message) return &r;
  }
  return nullptr;
}

struct SetUpFailure {
  std::string fatal;           // what() of the thrown error, or its prefix when `prefixOnly`
  bool prefixOnly = false;
  std::string logMessage;
  std::string metadataKey;
  std::string metadataValue;   // checked when not empty
};

// The fatal message of a set-up that must fail.
std::string setUpFailure(const std::string& model, const std::filesystem::path& directory) {
  try {
    CoreDataStack stack(model, directory, "Chronelle.sqlite");
  } catch (const CoreDataStackSetupError& error) {
    return error.what();
  }
  ADD_FAILURE() << "set-up did not fail for " << directory;
  return "";
}

TEST(CoreDataStackSetUp, FatalFailuresAreLoggedAndCarryTheirMessage) {
  TempDirectory dir;
  CapturedLogs logs;
  NSDictionaryValueTransformer::registerTransformer();
  ChronelleModel::registerModel();
  auto empty = std::make_shared<ObjectModel>("EmptyTestModel", 1);
  empty->finalize();
  ModelRegistry::registerModel(empty);
  std::ofstream(dir.file("occupied")) << "not a folder";
  std::ofstream(dir.file("garbage")) << "definitely not SQLite";
  std::filesystem::create_directory(dir.file("corrupt"));
  std::ofstream(dir.file("corrupt") / "Chronelle.sqlite") << std::string(4096, 'x');

  struct Case {
    const char* name;
    std::string model;
    std::filesystem::path directory;
    SetUpFailure expected;
  };
  const std::string occupied = dir.file("occupied").string();
  const std::vector<Case> cases = {
      {"unknown model", "NoSuchModel", dir.file("a"),
       {"[CoreDataManager] unable to find data model", false, "Unable to find data model", "modelName", "NoSuchModel"}},
      {"model without entities", "EmptyTestModel", dir.file("b"),
       {"[CoreDataStack] Unable to Load Data Model", false, "Unable to load data model", "modelUrl", ""}},
      {"a file where the directory should be", ChronelleModel::kName, dir.file("occupied"),
       {"[CoreDataManager] Unsresolved error: Expected a folder to store application data, found a file " + occupied +
            ".",
        false, "Error on adding the persistent store", "failureReason",
        "Expected a folder to store application data, found a file " + occupied + "."}},
      {"directory below a file", ChronelleModel::kName, dir.file("garbage") / "inside",
       {"[CoreDataManager] Unresolved error: ", true, "Error on adding the persistent store", "error", ""}},
      {"store file that is not a store", ChronelleModel::kName, dir.file("corrupt"),
       {"[CoreDataManager] Unresolved error: ", true, "Error on adding the persistent store", "error", ""}},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("case: ") + c.name);
    logs.clear();
    const std::string fatal = setUpFailure(c.model, c.directory);
    if (c.expected.prefixOnly) {
      EXPECT_EQ(fatal.rfind(c.expected.fatal, 0), 0u) << fatal;
      EXPECT_GT(fatal.size(), c.expected.fatal.size()) << "the cause is missing";
    } else {
      EXPECT_EQ(fatal, c.expected.fatal);
    }
    const auto records = logs.records("Data");
    const LogRecord* record = findRecord(records, c.expected.logMessage);
    ASSERT_NE(record, nullptr) << logs.transcript();
    EXPECT_EQ(record->level, LogLevel::error);
    ASSERT_EQ(record->metadata.count(c.expected.metadataKey), 1u);
    if (!c.expected.metadataValue.empty()) {
      EXPECT_EQ(record->metadata.at(c.expected.metadataKey).toString(), c.expected.metadataValue);
    }
  }
  // The file in the way is left as it was.
  std::ifstream in(dir.file("occupied"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a folder");
}

TEST(CoreDataStackSetUp, StartUpOrderFindsTheLibrarysOwnModel) {
  // A fresh process (the death-test child re-runs only this test), set up in the documented
  // order: the transformer, then the stack. Nothing registered the model before.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        int status = 0;
        {
          TempDirectory dir;
          NSDictionaryValueTransformer::registerTransformer();
          if (ModelRegistry::find(ChronelleModel::kName)) status = 3;  // not a fresh process
          CoreDataStack stack(ChronelleModel::kName, dir.file("store"), "Chronelle.sqlite");
          if (!stack.persistentStoreCoordinator()->hasStore()) status = 4;
        }
        std::exit(status);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(CoreDataStackSetUp, MissingDirectoryIsCreatedWithItsParentsAndContextsAreConfigured) {
  TempDirectory dir;
  NSDictionaryValueTransformer::registerTransformer();
  const auto storeDirectory = dir.file("one") / "two" / "three";
  CoreDataStack stack(ChronelleModel::kName, storeDirectory, "Chronelle.sqlite");
  EXPECT_TRUE(std::filesystem::is_directory(storeDirectory));
  EXPECT_TRUE(std::filesystem::exists(storeDirectory / "Chronelle.sqlite"));
  EXPECT_TRUE(stack.persistentStoreCoordinator()->hasStore());

  auto view = stack.viewContext();
  EXPECT_EQ(view->concurrencyType(), ConcurrencyType::mainQueue);
  EXPECT_EQ(view->mergePolicy(), MergePolicy::mergeByPropertyObjectTrump);
  EXPECT_TRUE(view->automaticallyMergesChangesFromParent());

  auto child = stack.childContext();
  EXPECT_EQ(child->concurrencyType(), ConcurrencyType::mainQueue);
  EXPECT_EQ(child->parent(), view);
  EXPECT_EQ(child->mergePolicy(), MergePolicy::mergeByPropertyStoreTrump);
  EXPECT_TRUE(child->automaticallyMergesChangesFromParent());

  auto background = stack.privateContext();
  EXPECT_EQ(background->concurrencyType(), ConcurrencyType::privateQueue);
  EXPECT_EQ(background->coordinator(), stack.persistentStoreCoordinator());
  EXPECT_EQ(background->parent(), nullptr);
  EXPECT_TRUE(background->automaticallyMergesChangesFromParent());
  EXPECT_EQ(background->undoManager(), nullptr);

  // A second stack on the same directory opens the existing store.
  EXPECT_NO_THROW(CoreDataStack(ChronelleModel::kName, storeDirectory, "Chronelle.sqlite"));
}

class CoreDataStackWrite : public StackFixture {
 protected:
  // Number of "did save" notifications of the view context while `fn` runs.
  template <class Fn>
  int countSaves(Fn fn) {
    int saves = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        ObjectContext::kDidSaveNotification, stack->viewContext().get(), [&](const Notification&) { ++saves; });
    fn();
    return saves;
  }

  std::size_t storedTaskCount() {
    auto reader = stack->privateContext();
    std::size_t count = 0;
    reader->performAndWait([&] { count = reader->count(FetchRequest(Task::kEntityName)); });
    return count;
  }
};

TEST_F(CoreDataStackWrite, BlockRunsLaterOnTheMainQueueAndItsChangesAreSaved) {
  std::vector<std::string> order;
  stack->executeWriteOperation(
      [&](ObjectContext&) -> std::any {
        order.push_back("first block");
        return 1;
      },
      false, [&](std::exception_ptr, std::any) { order.push_back("first completion"); });
  stack->executeWriteOperation(
      [&](ObjectContext&) -> std::any {
        order.push_back("second block");
        return 2;
      },
      false, [&](std::exception_ptr, std::any) { order.push_back("second completion"); });
  EXPECT_TRUE(order.empty()) << "the block must not run on the caller's stack";
  MainQueue::shared().runPending();
  EXPECT_EQ(order, (std::vector<std::string>{"first block", "first completion", "second block", "second completion"}));

  int saves = countSaves([&] {
    auto identifier = runOnMain(stack->executeWriteOperation([&](ObjectContext& c) {
      auto task = c.insert<Task>(Task::kEntityName);
      task->setName("Written");
      return *task->identifier();
    }));
    EXPECT_EQ(identifier.size(), 36u);
  });
  EXPECT_EQ(saves, 1);
  EXPECT_FALSE(context().hasChanges());
  EXPECT_EQ(storedTaskCount(), 1u);
}

TEST_F(CoreDataStackWrite, FailuresRollBackAndReachTheCaller) {
  auto kept = makeTask("Kept");
  save();

  // A throwing block: its error reaches the caller, the edit before the throw is gone.
  int saves = countSaves([&] {
    EXPECT_THROW(runOnMain(stack->executeWriteOperation([&](ObjectContext&) -> int {
                   kept->setName("Changed");
                   makeTask("Never saved");
                   throw std::out_of_range("block failed");
                 })),
                 std::out_of_range);
  });
  EXPECT_EQ(saves, 0);
  EXPECT_FALSE(context().hasChanges());
  EXPECT_EQ(kept->name(), "Kept");
  EXPECT_EQ(storedTaskCount(), 1u);
  const auto records = logs.records("Data");
  const LogRecord* record = findRecord(records, "Error on executing write operation");
  ASSERT_NE(record, nullptr) << logs.transcript();
  EXPECT_EQ(record->metadata.at("error").toString(), "block failed");
  EXPECT_EQ(record->function, "error(_:_:file:)");

  // A block without a value.
  try {
    runOnMain(stack->executeWriteOperation([](ObjectContext&) { return std::optional<int>(); }));
    ADD_FAILURE() << "an empty result must be an error";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), CoreDataStack::WriteOperationError::unexpectedNilAsResult);
  }
  EXPECT_EQ(runOnMain(stack->executeWriteOperation([](ObjectContext&) { return std::optional<int>(5); })), 5);
}

TEST_F(CoreDataStackWrite, BlockWithoutChangesDoesNotSave) {
  makeTask("Pending before");
  save();
  int saves = countSaves([&] {
    runOnMain(stack->executeWriteOperation([](ObjectContext& c) { (void)c.count(FetchRequest(Task::kEntityName)); }));
  });
  EXPECT_EQ(saves, 0);
}

}  // namespace
}  // namespace chronelle::testing
