// Setting up the store and running write operations through the stack.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <stdexcept>

#include "teststack/StackFixture.h"
#include "chronelle/model/ChronelleModel.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "testsupport/FileContent.h"
#include "testsupport/RunOnMain.h"

namespace chronelle::testing {
namespace {

// A set-up that must fail, as "fatal message | log message key=value" of its error record with
// the key the row names; the cause following a fatal message ending in ": " is cut off.
std::string setUpFailure(const std::string& model, const std::filesystem::path& directory,
                         const CapturedLogs& logs, const std::string& key) {
  std::string fatal = "did not fail";
  try {
    CoreDataStack stack(model, directory, "Chronelle.sqlite");
  } catch (const CoreDataStackSetupError& error) {
    fatal = error.what();
  }
  if (const auto cause = fatal.find(": "); cause != std::string::npos) fatal.resize(cause + 1);
  for (const auto& r : logs.records("Data")) {
    const auto value = r.metadata.find(key);
    if (r.level == LogLevel::error && value != r.metadata.end())
      return fatal + " | " + r.message + " " + key + "=" + value->second.toString();
  }
  return fatal + " | no error record with " + key;
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
  const std::string adding = " | Error on adding the persistent store ";
  const std::tuple<std::string, std::filesystem::path, std::string, std::string> cases[] = {
      {"NoSuchModel", dir.file("a"), "modelName",
       "[CoreDataManager] unable to find data model | Unable to find data model "
       "modelName=NoSuchModel"},
      {"EmptyTestModel", dir.file("b"), "modelUrl",
       "[CoreDataStack] Unable to Load Data Model | Unable to load data model modelUrl="},
      {ChronelleModel::kName, dir.file("occupied"), "failureReason",
       "[CoreDataManager] Unsresolved error:" + adding + "failureReason=" + inTheWay},
      {ChronelleModel::kName, dir.file("garbage") / "inside", "error",
       "[CoreDataManager] Unresolved error:" + adding + "error="},
      {ChronelleModel::kName, dir.file("corrupt"), "error",
       "[CoreDataManager] Unresolved error:" + adding + "error="},
  };
  for (const auto& [model, directory, key, expected] : cases) {
    logs.clear();
    const std::string seen = setUpFailure(model, directory, logs, key);
    // The model's location and the store's error vary: only their presence is compared.
    const bool presence = expected.ends_with("=");
    EXPECT_EQ(presence ? seen.substr(0, seen.find('=') + 1) : seen, expected) << directory;
  }
  // The file in the way is left as it was.
  EXPECT_EQ(readFile(dir.file("occupied")), "not a folder");
}

TEST(CoreDataStackSetUp, MissingDirectoryIsCreatedWithItsParentsAndContextsAreConfigured) {
  TempDirectory dir;
  NSDictionaryValueTransformer::registerTransformer();
  const auto storeDirectory = dir.file("one") / "two" / "three";
  CoreDataStack stack(ChronelleModel::kName, storeDirectory, "Chronelle.sqlite");
  EXPECT_TRUE(std::filesystem::exists(storeDirectory / "Chronelle.sqlite"));
  EXPECT_TRUE(stack.persistentStoreCoordinator()->hasStore());

  // Who wins a conflict: the view context's own edits over the store, a scratch child's the
  // other way round; a background context never records undo steps.
  EXPECT_EQ(stack.viewContext()->mergePolicy(), MergePolicy::mergeByPropertyObjectTrump);
  EXPECT_EQ(stack.childContext()->mergePolicy(), MergePolicy::mergeByPropertyStoreTrump);
  EXPECT_EQ(stack.childContext()->parent(), stack.viewContext());
  EXPECT_EQ(stack.privateContext()->undoManager(), nullptr);
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
      c.insert<Task>(Task::kEntityName)->setName("Kept");
      return std::optional<int>(5);
    }));
    EXPECT_EQ(identifier, 5);
    // A block that changes nothing does not save.
    runOnMain(stack->executeWriteOperation([](ObjectContext& c) { (void)c.count(FetchRequest(Task::kEntityName)); }));
  });
  EXPECT_EQ(std::tuple(saves, context().hasChanges(), storedTaskCount()), std::tuple(1, false, 1u));
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
  std::string logged;
  for (const auto& r : logs.records("Data")) {
    if (r.message == "Error on executing write operation")
      logged = r.metadata.at("error").toString() + " " + r.function;
  }
  EXPECT_EQ(logged, "block failed error(_:_:file:)") << logs.transcript();

  // A block without a value.
  try {
    runOnMain(stack->executeWriteOperation([](ObjectContext&) { return std::optional<int>(); }));
    ADD_FAILURE() << "an empty result must be an error";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), CoreDataStack::WriteOperationError::unexpectedNilAsResult);
  }
}

}  // namespace
}  // namespace chronelle::testing
