// Looking objects up in another context through ManagedObjectFetcher.
#include <gtest/gtest.h>

#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/ManagedObjectFetcher.h"
#include "chronelle/data/ManagedObjectFetcherError.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

using ManagedObjectFetcherTest = StackFixture;

TEST_F(ManagedObjectFetcherTest, ObjectsAndIdsResolveInTheFetchersContext) {
  auto folder = makeFolder("Folder");
  auto first = makeTask("First", folder, 0);
  auto second = makeTask("Second", folder, 1);
  save();
  auto fresh = makeTask("New");
  ASSERT_TRUE(fresh->objectID().isTemporaryID());
  auto fetched = ManagedObjectFetcher(stack->viewContext()).fetchObject(fresh);
  EXPECT_EQ(fetched, fresh) << "the view context's own object";
  EXPECT_FALSE(fetched->objectID().isTemporaryID()) << "a new object gets its permanent identity";

  auto other = stack->privateContext();
  other->performAndWait([&] {
    ManagedObjectFetcher fetcher(other);
    auto seen = fetcher.fetchObject(first);
    EXPECT_NE(seen, first) << "an object of the other context";
    EXPECT_EQ(seen->managedObjectContext(), other.get());
    EXPECT_EQ(seen->name(), "First");
    auto byIds = fetcher.fetchObjects<Task>(std::vector<ObjectID>{second->objectID(), first->objectID()});
    ASSERT_EQ(byIds.size(), 2u);
    EXPECT_EQ(byIds[0]->name() + byIds[1]->name(), "SecondFirst");
    EXPECT_EQ(fetcher.fetchObjects<Node>(std::vector<std::shared_ptr<Task>>{first}).front()->name(), "First");
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
  EXPECT_THROW(fetcher.fetchObjects<Task>(std::vector<ObjectID>{task->objectID(), missing}), StoreError);
}

}  // namespace
}  // namespace chronelle::testing
