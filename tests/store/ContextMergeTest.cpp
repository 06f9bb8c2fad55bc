// Two contexts on one store: a save reaching the other contexts that merge automatically,
// the property-by-property outcome of each merge policy when both edited one row, whether
// the conflict is met by the automatic merge or by the save's version check, and a child
// context saving into its parent.

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "StoreTestModel.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

std::string describe(const ManagedObject& spot) {
  return spot.value("name").asString().value_or("?") + " " + std::to_string(spot.value("rank").asInteger().value_or(-1)) +
         (spot.value("open").asBool().value_or(false) ? " open" : " closed");
}

TEST(ContextMerge, EachPolicyResolvesTheSameRowPropertyByProperty) {
  struct Case {
    MergePolicy policy;
    bool automaticMerge;  // met by the merge before the save, or by the save's version check
    const char* stored;
    int error = 0;
  };
  // Both edit rank; only "mine" edits the name, only "theirs" opens it.
  const std::vector<Case> cases = {
      {MergePolicy::error, false, "spot 3 open", StoreError::kOptimisticLockingFailure},
      {MergePolicy::mergeByPropertyObjectTrump, false, "mine 2 open"},
      {MergePolicy::mergeByPropertyObjectTrump, true, "mine 2 open"},
      {MergePolicy::mergeByPropertyStoreTrump, false, "mine 3 open"},
      {MergePolicy::mergeByPropertyStoreTrump, true, "mine 3 open"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("policy " + std::to_string(static_cast<int>(c.policy)) + (c.automaticMerge ? " merged" : " at save"));
    TestStore store;
    auto spot = store.spot("spot");
    store.context->save();
    auto mine = store.newContext(ConcurrencyType::mainQueue);
    mine->setMergePolicy(c.policy);
    mine->setAutomaticallyMergesChangesFromParent(c.automaticMerge);
    auto object = mine->existingObject(spot->objectID());
    object->setValue("name", "mine");
    object->setValue("rank", 2);

    auto theirs = store.newContext();
    theirs->performAndWait([&] {
      auto other = theirs->existingObject(spot->objectID());
      other->setValue("rank", 3);
      other->setValue("open", true);
      theirs->save();
    });
    MainQueue::shared().runPending();
    if (c.automaticMerge) {
      // Merged before saving: the other side's property is in, both-sided ones per policy.
      EXPECT_EQ(describe(*object), c.stored);
    }
    try {
      mine->save();
      EXPECT_EQ(c.error, 0) << "saved";
      EXPECT_EQ(describe(*object), c.stored);
    } catch (const StoreError& e) {
      EXPECT_EQ(e.code(), c.error) << e.what();
      EXPECT_EQ(describe(*object), "mine 2 closed") << "a failed save keeps the context as it was";
    }
    EXPECT_EQ(mine->hasChanges(), c.error != 0);
    auto reader = store.newContext(ConcurrencyType::mainQueue);
    EXPECT_EQ(describe(*reader->existingObject(spot->objectID())), c.stored);
    if (c.error == 0) {
      // The merged row's version moved on: a further edit saves without conflict.
      object->setValue("rank", 6);
      EXPECT_NO_THROW(mine->save());
    }
  }
}

TEST(ContextMerge, OtherContextsTakeASaveOnTheirOwnQueue) {
  TestStore store;
  store.context->setAutomaticallyMergesChangesFromParent(true);
  auto home = store.area("home");
  auto desk = store.spot("desk", home);
  auto lamp = store.spot("lamp", home);
  store.context->save();
  auto bystander = store.newContext(ConcurrencyType::mainQueue);  // merging off: untouched
  auto bystanderDesk = bystander->existingObject(desk->objectID());

  std::vector<std::string> merges;
  auto observer = NotificationCenter::defaultCenter().addObserver(
      ObjectContext::kDidMergeChangesObjectIDsNotification, nullptr, [&](const Notification& n) {
        auto size = [&](const char* key) { return std::to_string(n.value<ObjectIDSet>(key)->size()); };
        merges.push_back((n.object == store.context.get() ? "main " : "other ") + size(ObjectContext::kInsertedObjectIDsKey) +
                         size(ObjectContext::kUpdatedObjectIDsKey) + size(ObjectContext::kDeletedObjectIDsKey));
      });

  auto worker = store.newContext();
  ObjectID insertedId;
  worker->performAndWait([&] {
    worker->existingObject(desk->objectID())->setValue("name", "table");
    worker->deleteObject(worker->existingObject(lamp->objectID()));
    auto chair = worker->insertNewObject("Spot");
    chair->setValue("name", "chair");
    worker->save();
    insertedId = chair->objectID();
  });
  EXPECT_TRUE(merges.empty()) << "the main context merges as a task of its own queue";
  MainQueue::shared().runPending();
  // Updated: the desk, and home, which lost the lamp.
  EXPECT_EQ(merges, std::vector<std::string>{"main 121"});
  EXPECT_EQ(desk->value("name").asString(), "table");
  EXPECT_TRUE(lamp->isFault());
  EXPECT_EQ(bystanderDesk->value("name").asString(), "desk");

  // The other way round: a private context that merges takes the main context's save on
  // its own queue, keeping its own unsaved edit of another property.
  worker->setAutomaticallyMergesChangesFromParent(true);
  worker->setMergePolicy(MergePolicy::mergeByPropertyObjectTrump);
  worker->performAndWait([&] { worker->existingObject(desk->objectID())->setValue("rank", 9); });
  merges.clear();
  desk->setValue("open", true);
  store.context->save();
  // The merge was queued on the worker's queue by the save; a task queued now runs after it.
  std::promise<std::string> seen;
  worker->perform([&] { seen.set_value(describe(*worker->existingObject(desk->objectID()))); });
  EXPECT_EQ(seen.get_future().get(), "table 9 open");
  EXPECT_EQ(merges, std::vector<std::string>{"other 010"});
}

FetchRequest sortedSpots() {
  FetchRequest request("Spot");
  request.sortDescriptors = {{"name", true}};
  return request;
}

TEST(ContextChildTest, AChildSeesItsParentsUnsavedStateAndSavesIntoIt) {
  TestStore store;
  auto area = store.area("area");
  auto a = store.spot("a", area);
  auto b = store.spot("b", area);
  store.context->save();
  // Unsaved in the parent: an insert, an edit, a delete.
  auto c = store.spot("c", area);
  a->setValue("rank", 5);
  store.context->deleteObject(b);

  auto child = ObjectContext::createChild(ConcurrencyType::mainQueue, store.context);
  EXPECT_EQ(TestStore::names(child->fetch(sortedSpots())), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(child->count(sortedSpots()), 2u);
  auto childA = child->existingObject(a->objectID());
  EXPECT_NE(childA, a);
  EXPECT_EQ(childA->value("rank"), Value(5));
  EXPECT_FALSE(childA->hasChanges());
  auto childArea = child->existingObject(area->objectID());
  EXPECT_EQ(TestStore::names(childArea->objects("places")), (std::vector<std::string>{"a", "c"}));
  FetchRequest ranked("Spot");
  ranked.predicate = Predicate::parse("rank == 5");
  EXPECT_EQ(child->fetch(ranked).at(0), childA);

  // The child's save lands in the parent as unsaved changes, not in the store.
  childA->setValue("name", "a2");
  auto d = child->insertNewObject("Spot");
  d->setValue("name", "d");
  d->setObject("area", childArea);
  child->deleteObject(child->existingObject(c->objectID()));
  child->save();
  EXPECT_FALSE(child->hasChanges());
  EXPECT_EQ(a->value("name"), Value("a2"));
  EXPECT_TRUE(c->isDeleted() || c->managedObjectContext() == nullptr);
  auto parentD = store.context->existingObject(d->objectID());
  EXPECT_TRUE(parentD->isInserted());
  EXPECT_EQ(parentD->object("area"), area);
  EXPECT_EQ(TestStore::names(area->objects("places")), (std::vector<std::string>{"a2", "d"}));
  auto other = store.newContext();
  other->performAndWait([&] { EXPECT_EQ(TestStore::names(other->fetch(sortedSpots())), (std::vector<std::string>{"a", "b"})); });

  // Saving the parent writes everything.
  store.context->save();
  other->performAndWait([&] { EXPECT_EQ(TestStore::names(other->fetch(sortedSpots())), (std::vector<std::string>{"a2", "d"})); });
}

TEST(ContextChildTest, AChildThatFailsValidationLeavesItsParentAlone) {
  TestStore store;
  auto child = ObjectContext::createChild(ConcurrencyType::privateQueue, store.context);
  child->performAndWait([&] {
    child->insertNewObject("Visit");  // no start
    EXPECT_THROW(child->save(), StoreError);
    EXPECT_TRUE(child->hasChanges());
  });
  EXPECT_FALSE(store.context->hasChanges());
}

}  // namespace
}  // namespace chronelle::testing
