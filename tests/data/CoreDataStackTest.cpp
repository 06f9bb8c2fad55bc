// Setting up the store and running write operations through the stack.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
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

  const std::string inTheWay = "Expected a folder to store application data, found a file " +
                               dir.file("occupied").string() + ".";
  const struct {
    std::string model;
    std::filesystem::path directory;
    std::string fatal;  // ending in ": ", a prefix the cause follows
    const char* logMessage;
    const char* metadataKey;
    std::string metadataValue;  // checked when not empty
  } cases[] = {
      {"NoSuchModel", dir.file("a"), "[CoreDataManager] unable to find data model", "Unable to find data model",
       "modelName", "NoSuchModel"},
      {"EmptyTestModel", dir.file("b"), "[CoreDataStack] Unable to Load Data Model", "Unable to load data model",
       "modelUrl", ""},
      {ChronelleModel::kName, dir.file("occupied"), "[CoreDataManager] Unsresolved error: " + inTheWay,
       "Error on adding the persistent store", "failureReason", inTheWay},
      {ChronelleModel::kName, dir.file("garbage") / "inside", "[CoreDataManager] Unresolved error: ",
       "Error on adding the persistent store", "error", ""},
      {ChronelleModel::kName, dir.file("corrupt"), "[CoreDataManager] Unresolved error: ",
       "Error on adding the persistent store", "error", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.directory.string());
    logs.clear();
    const std::string fatal = setUpFailure(c.model, c.directory);
    if (c.fatal.ends_with(": ")) {
      EXPECT_TRUE(fatal.starts_with(c.fatal) && fatal.size() > c.fatal.size()) << fatal;
    } else {
      EXPECT_EQ(fatal, c.fatal);
    }
    const auto records = logs.records("Data");
    const LogRecord* record = findRecord(records, c.logMessage);
    ASSERT_NE(record, nullptr) << logs.transcript();
    EXPECT_EQ(record->level, LogLevel::error);
    ASSERT_EQ(record->metadata.count(c.metadataKey), 1u);
    if (!c.metadataValue.empty()) {
      EXPECT_EQ(record->metadata.at(c.metadataKey).toString(), c.metadataValue);
    }
  }
  // The file in the way is left as it was.
  std::ifstream in(dir.file("occupied"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a folder");
}

TEST(CoreDataStackSetUp, MissingDirectoryIsCreatedWithItsParentsAndContextsAreConfigured) {
  TempDirectory dir;
  NSDictionaryValueTransformer::registerTransformer();
  const auto storeDirectory = dir.file("one") / "two" / "three";
  CoreDataStack stack(ChronelleModel::kName, storeDirectory, "Chronelle.sqlite");
  EXPECT_TRUE(std::filesystem::is_directory(storeDirectory));
  EXPECT_TRUE(std::filesystem::exists(storeDirectory / "Chronelle.sqlite"));
  EXPECT_TRUE(stack.persistentStoreCoordinator()->hasStore());

  // Who wins a conflict: the view context's own edits over the store, a scratch child's the
  // other way round; a background context never records undo steps.
  EXPECT_EQ(stack.viewContext()->mergePolicy(), MergePolicy::mergeByPropertyObjectTrump);
  EXPECT_EQ(stack.childContext()->mergePolicy(), MergePolicy::mergeByPropertyStoreTrump);
  EXPECT_EQ(stack.childContext()->parent(), stack.viewContext());
  EXPECT_EQ(stack.privateContext()->undoManager(), nullptr);

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
  std::string order;
  for (const char* name : {"first", "second"}) {
    stack->executeWriteOperation([&order, name](ObjectContext&) -> std::any { return order += name; }, false,
                                 [&order](std::exception_ptr, std::any) { order += " done "; });
  }
  EXPECT_EQ(order, "") << "the block must not run on the caller's stack";
  MainQueue::shared().runPending();
  EXPECT_EQ(order, "first done second done ");

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
  EXPECT_EQ(std::tuple(saves, context().hasChanges(), kept->name(), storedTaskCount()),
            std::tuple(0, false, "Kept", 1u));
  const auto records = logs.records("Data");
  const LogRecord* record = findRecord(records, "Error on executing write operation");
  ASSERT_NE(record, nullptr) << logs.transcript();
  EXPECT_EQ(record->metadata.at("error").toString() + " " + record->function, "block failed error(_:_:file:)");

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
