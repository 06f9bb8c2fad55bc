// Two contexts on one store: a save reaching the other contexts that merge automatically,
// the property-by-property outcome of each merge policy when both edited one row, whether
// the conflict is met by the automatic merge or by the save's version check, and a child
// context saving into its parent; a private context reading while the main context saves,
// and blocks run on a context's queue from other threads.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
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
    EXPECT_EQ(describe(*store.newContext(ConcurrencyType::mainQueue)->existingObject(spot->objectID())), c.stored);
    if (c.error == 0) {
      // The merged row's version moved on: a further edit saves without conflict.
      object->setValue("rank", 6);
      EXPECT_NO_THROW(mine->save());
    }
  }
  // A delete of a row saved elsewhere since it was read: a conflict under the error policy,
  // deleted all the same under the others.
  for (const auto& [policy, error] : {std::pair{MergePolicy::error, StoreError::kOptimisticLockingFailure},
                                      std::pair{MergePolicy::mergeByPropertyStoreTrump, 0}}) {
    TestStore store;
    auto spot = store.spot("spot");
    store.context->save();
    store.context->setMergePolicy(policy);
    auto theirs = store.newContext();
    theirs->performAndWait([&] {
      theirs->existingObject(spot->objectID())->setValue("rank", 3);
      theirs->save();
    });
    store.context->deleteObject(spot);
    int code = 0;
    try {
      store.context->save();
    } catch (const StoreError& e) {
      code = e.code();
    }
    EXPECT_EQ(std::pair(code, store.newContext(ConcurrencyType::mainQueue)->count(FetchRequest("Spot"))),
              std::pair(error, error ? 1ul : 0ul))
        << "policy " << static_cast<int>(policy);
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
  worker->performAndWait([&] {
    worker->existingObject(desk->objectID())->setValue("name", "table");
    worker->deleteObject(worker->existingObject(lamp->objectID()));
    insert(*worker, "Spot", {{"name", "chair"}});
    worker->save();
  });
  EXPECT_TRUE(merges.empty()) << "the main context merges as a task of its own queue";
  MainQueue::shared().runPending();
  // Updated: the desk, and home, which lost the lamp.
  EXPECT_EQ(merges, std::vector<std::string>{"main 121"});
  EXPECT_EQ(std::tuple(desk->value("name"), lamp->isFault(), bystanderDesk->value("name")),
            std::tuple(Value("table"), true, Value("desk")));

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
  EXPECT_TRUE(childA != a && childA->value("rank") == Value(5) && !childA->hasChanges());
  auto childArea = child->existingObject(area->objectID());
  EXPECT_EQ(TestStore::names(childArea->objects("places")), (std::vector<std::string>{"a", "c"}));
  FetchRequest ranked("Spot");
  ranked.predicate = Predicate::parse("rank == 5");
  EXPECT_EQ(child->fetch(ranked).at(0), childA);

  // The child's save lands in the parent as unsaved changes, not in the store.
  childA->setValue("name", "a2");
  auto d = insert(*child, "Spot", {{"name", "d"}});
  d->setObject("area", childArea);
  child->deleteObject(child->existingObject(c->objectID()));
  child->save();
  EXPECT_FALSE(child->hasChanges());
  EXPECT_EQ(a->value("name"), Value("a2"));
  EXPECT_TRUE(c->isDeleted() || c->managedObjectContext() == nullptr);
  auto parentD = store.context->existingObject(d->objectID());
  EXPECT_TRUE(parentD->isInserted() && parentD->object("area") == area);
  EXPECT_EQ(TestStore::names(area->objects("places")), (std::vector<std::string>{"a2", "d"}));
  auto other = store.newContext();
  other->performAndWait([&] { EXPECT_EQ(TestStore::names(other->fetch(sortedSpots())), (std::vector<std::string>{"a", "b"})); });

  // Saving the parent writes everything.
  store.context->save();
  other->performAndWait([&] { EXPECT_EQ(TestStore::names(other->fetch(sortedSpots())), (std::vector<std::string>{"a2", "d"})); });

  // A child that fails validation leaves its parent alone.
  auto failing = ObjectContext::createChild(ConcurrencyType::privateQueue, store.context);
  failing->performAndWait([&] {
    failing->insertNewObject("Visit");  // no start
    EXPECT_THROW(failing->save(), StoreError);
    EXPECT_TRUE(failing->hasChanges());
  });
  EXPECT_FALSE(store.context->hasChanges());
}

// The main context moves rank points between two spots and saves, again and again; a
// private context on another thread keeps reading. Every read must see a saved state:
// the ranks always add up to 100 and each visit's tally matches the transfer count.
TEST(ContextThreadTest, APrivateContextReadsConsistentSavedStatesWhileTheMainContextSaves) {
  TestStore store;
  auto left = with(store.spot("left"), {{"rank", 100}});
  auto right = store.spot("right");
  store.context->save();

  auto reader = store.newContext(ConcurrencyType::privateQueue);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::vector<std::string> problems;
  std::thread thread([&] {
    while (!done.load() || reads.load() < 5) {
      reader->performAndWait([&] {
        int objectSum = 0;
        for (const auto& spot : reader->fetch(FetchRequest("Spot"))) objectSum += static_cast<int>(*spot->value("rank").asInteger());
        FetchRequest sum("Spot");
        sum.propertiesToFetch = {ExpressionDescription{"sum", "sum:", "rank", AttributeType::integer64}};
        const auto rows = reader->fetchDictionaries(sum);
        FetchRequest visits("Visit");
        visits.propertiesToFetch = {ExpressionDescription{"n", "count:", "tally", AttributeType::integer64},
                                    ExpressionDescription{"max", "max:", "tally", AttributeType::integer64}};
        const auto counted = reader->fetchDictionaries(visits).at(0);
        const auto n = counted.at("n"), max = counted.count("max") ? counted.at("max") : Value(0);
        if (objectSum != 100 || rows.at(0).at("sum") != Value(100) || n != max) {
          problems.push_back("sum " + std::to_string(objectSum) + " / " + rows.at(0).at("sum").description() +
                             ", visits " + n.description() + " max " + max.description());
        }
      });
      reads.fetch_add(1);
    }
  });
  for (int i = 1; i <= 150; ++i) {
    left->setValue("rank", 100 - i % 100);
    right->setValue("rank", i % 100);
    store.visit(right, i);
    store.context->save();
  }
  done.store(true);
  thread.join();
  EXPECT_TRUE(problems.empty()) << problems.size() << " inconsistent reads, first: " << problems.front();
  EXPECT_GE(reads.load(), 5);
}

TEST(ContextThreadTest, PerformAndWaitIsReentrantAndReachesTheMainQueueFromOtherThreads) {
  TestStore store;
  auto privateContext = store.newContext(ConcurrencyType::privateQueue);
  int depth = 0;
  privateContext->performAndWait([&] {
    ++depth;
    privateContext->performAndWait([&] { ++depth; });
  });
  EXPECT_EQ(depth, 2);

  // A main-queue context used from another thread runs the block on the main queue, and
  // hands back what it throws.
  std::atomic<bool> ranOnMain{false}, finished{false};
  std::thread worker([&] {
    store.context->performAndWait([&] { ranOnMain.store(MainQueue::shared().isMainThread()); });
    EXPECT_THROW(store.context->performAndWait([] { throw std::runtime_error("inside"); }), std::runtime_error);
    finished.store(true);
  });
  while (!finished.load()) MainQueue::shared().runPending();
  worker.join();
  EXPECT_TRUE(ranOnMain.load());
}

}  // namespace
}  // namespace chronelle::testing
