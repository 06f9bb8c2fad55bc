// Looking objects up in another context through ManagedObjectFetcher.
#include <gtest/gtest.h>

#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/ManagedObjectFetcher.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

using ManagedObjectFetcherTest = StackFixture;

TEST_F(ManagedObjectFetcherTest, NewObjectsGetAPermanentIdentity) {
  auto task = makeTask("New");
  ASSERT_TRUE(task->objectID().isTemporaryID());
  ManagedObjectFetcher fetcher(stack->viewContext());
  auto fetched = fetcher.fetchObject(task);
  EXPECT_EQ(fetched, task) << "the view context's own object";
  EXPECT_FALSE(fetched->objectID().isTemporaryID());
  EXPECT_EQ(fetched->name(), "New");
}

TEST_F(ManagedObjectFetcherTest, ObjectsAndIdsResolveInTheFetchersContext) {
  auto folder = makeFolder("Folder");
  auto first = makeTask("First", folder, 0);
  auto second = makeTask("Second", folder, 1);
  save();

  auto other = stack->privateContext();
  other->performAndWait([&] {
    ManagedObjectFetcher fetcher(other);
    auto seen = fetcher.fetchObject(first);
    EXPECT_NE(seen, first) << "an object of the other context";
    EXPECT_EQ(seen->objectID(), first->objectID());
    EXPECT_EQ(seen->managedObjectContext(), other.get());
    EXPECT_EQ(seen->name(), "First");

    auto byIds = fetcher.fetchObjects<Task>(std::vector<ObjectID>{second->objectID(), first->objectID()});
    ASSERT_EQ(byIds.size(), 2u);
    EXPECT_EQ(byIds[0]->name(), "Second");
    EXPECT_EQ(byIds[1]->name(), "First");
    EXPECT_EQ(fetcher.fetchObjects<Node>(std::vector<std::shared_ptr<Task>>{first}).front()->name(), "First");
    EXPECT_TRUE(fetcher.fetchObjects<Task>(std::vector<ObjectID>{}).empty());
  });
}

TEST_F(ManagedObjectFetcherTest, WrongTypeAndMissingObjectsThrow) {
  auto folder = makeFolder("Folder");
  auto task = makeTask("Task", folder);
  save();
  ManagedObjectFetcher fetcher(stack->viewContext());

  try {
    fetcher.fetchObject<Task>(folder->objectID());
    ADD_FAILURE() << "a folder is not a task";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), ManagedObjectFetcherError::wrongExpectedReturnObjectType);
  }
  EXPECT_EQ(fetcher.fetchObject<Node>(folder->objectID()), folder) << "a folder is a node";

  const ObjectID missing =
      ObjectID::permanent(Task::kEntityName, 999'999, stack->persistentStoreCoordinator()->storeIdentifier());
  try {
    fetcher.fetchObjects<Task>(std::vector<ObjectID>{task->objectID(), missing});
    ADD_FAILURE() << "the missing task must end the call";
  } catch (const StoreError& error) {
    EXPECT_EQ(error.code(), StoreError::kObjectNotFound);
  }
}

}  // namespace
}  // namespace chronelle::testing
