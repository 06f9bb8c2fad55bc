#include <gtest/gtest.h>

#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "teststack/ProviderFixture.h"

namespace chronelle::testing {
namespace {

const std::string none = "[]";
const std::string session = R"(["session"])";
const std::string task = R"(["task"])";

class MainDataProviderNotificationTest : public ProviderFixture {
 protected:
  MainDataProviderNotificationTest() {
    f = makeFolder("F");
    a = makeTask("A", f);
    b = makeTask("B", nullptr, 1);
    makeSession(a, utc(9), utc(10));
    saveAndSettle();
  }

  std::shared_ptr<Folder> f;
  std::shared_ptr<Task> a, b;
};

// The created entry is the view context's own object, floored to the second, and marks its
// task and folders as running.
TEST_F(MainDataProviderNotificationTest,
       ChangeNotificationCarriesTheSavedObjectsAndMergesOnlyTheChangeSet) {
  auto created =
      write(provider->createTimeEntry(utc(11) + 0.75, std::nullopt, a->objectID(), true, "n"));
  EXPECT_TRUE(created == context().registeredObject(created->objectID()) &&
              !created->objectID().isTemporaryID());
  EXPECT_EQ(std::tuple(created->begin(), created->end(), created->autotracked(), created->notes()),
            std::tuple(utc(11), std::nullopt, true, "n"));
  EXPECT_TRUE(a->hasRunningSession() && f->hasRunningSession() && !b->hasRunningSession());
  EXPECT_EQ(lastChange.object, nullptr);
  const auto* inserted = lastChange.value<ObjectSet>(DataNotifications::insertedObjectsKey);
  ASSERT_TRUE(inserted && lastChange.value<ObjectSet>(DataNotifications::updatedObjectsKey) &&
              lastChange.value<ObjectSet>(DataNotifications::deletedObjectsKey));
  EXPECT_EQ(*inserted, ObjectSet{created});
  takeEvents();

  // A merge is announced at once, on the posting thread, with the change set only.
  NotificationCenter::defaultCenter().post(ObjectContext::kDidMergeChangesObjectIDsNotification,
                                           stack->viewContext().get(),
                                           {{ObjectContext::kUpdatedObjectIDsKey, ObjectIDSet{a->objectID()}}});
  EXPECT_EQ(takeEvents(), changed(none, task, none));
  EXPECT_EQ(lastChange.userInfo.size(), 1u);

  // A did-save without user info is not announced.
  provider->contextDidSave(Notification{ObjectContext::kDidSaveNotification, stack->viewContext().get(), {}});
  MainQueue::shared().runPending();
  EXPECT_EQ(takeEvents(), "");
}

TEST_F(MainDataProviderNotificationTest, FailedDurationSaveIsLoggedAndChangesAreStillAnnounced) {
  // The first save after this point gets an invalid edit queued behind it, so the following
  // duration save fails validation.
  bool armed = true;
  auto saboteur = NotificationCenter::defaultCenter().addObserver(
      ObjectContext::kDidSaveNotification, stack->viewContext().get(), [&](const Notification&) {
        if (!armed) return;
        armed = false;
        MainQueue::shared().post([this] { b->setName(" "); });
      });
  startProvider();

  write(provider->createTimeEntry(utc(11), utc(12), a->objectID(), false, {}));
  EXPECT_EQ(takeEvents(), "returned | " + changed(session, task, none));
  EXPECT_NE(logs.transcript().find("Data: Error on contextDidSave"), std::string::npos);
  EXPECT_FALSE(provider->ignoreContextDidChangeNotifications() || context().hasChanges());
  EXPECT_EQ(b->name(), "B");

  write(provider->updateNode(b->objectID(), {{NodeChangeKey::name, std::string("B2")}}));
  EXPECT_EQ(takeEvents(), "returned | " + changed(none, task, none));

  // A write of entries recounts within the write: an invalid edit made while its save is
  // announced fails the recount's save, not the write, whose entry stays saved.
  armed = true;
  auto inline_ = NotificationCenter::defaultCenter().addObserver(
      ObjectContext::kDidSaveNotification, stack->viewContext().get(), [&](const Notification&) {
        if (std::exchange(armed, false)) b->setName(" ");
      });
  saboteur.reset();
  logs.clear();
  const auto added = write(provider->createTimeEntry(utc(13), utc(14), a->objectID(), false, {}));
  EXPECT_EQ(takeEvents(), "returned | " + changed(session, task, none));
  EXPECT_NE(logs.transcript().find("Data: Error on contextDidSave"), std::string::npos);
  EXPECT_FALSE(context().hasChanges());
  EXPECT_EQ(b->name(), "B2");
  auto fresh = ObjectContext::create(ConcurrencyType::mainQueue, stack->persistentStoreCoordinator());
  EXPECT_TRUE(fresh->existingObject(added->objectID())) << "the entry is in the store";
}

TEST(MainDataProviderClassificationTest, SavedObjectsAndMergedIDsAreClassifiedByKind) {
  const std::string store = "11111111-2222-3333-4444-555555555555";
  // Rules and combinations name neither "/RuleSet" nor "/RuleBase" in their URIs.
  const std::pair<const char*, std::int64_t> cases[] = {{"Task", 2},     {"Folder", 4},          {"Session", 1},           {"RuleSet", 8},
                        {"RuleBase", 16}, {"Rule", 0},            {"RuleCombination", 0},   {"ALEntry", 32},
                        {"BrowserALEntry", 32}, {"DocumentAppALEntry", 32}, {"Unknown", 0}};
  for (const auto& [entity, bit] : cases) {
    for (const ObjectID& id : {ObjectID::permanent(entity, 7, store), ObjectID::temporary(entity)}) {
      const auto changes = MainDataProvider::getChangesFromMergeNotification(
          Notification{"merge", nullptr, {{ObjectContext::kDeletedObjectIDsKey, ObjectIDSet{id}}}});
      ASSERT_TRUE(changes.has_value());
      EXPECT_EQ(changes->deletes.rawValue, bit) << id.uriRepresentation();
      EXPECT_TRUE(changes->inserts.isEmpty() && changes->updates.isEmpty()) << entity;
    }
  }
  EXPECT_FALSE(MainDataProvider::getChangesFromMergeNotification(Notification{"merge", nullptr, {}}));
  // A value of another type under a key adds nothing.
  const Notification mistyped{"merge", nullptr, {{ObjectContext::kInsertedObjectIDsKey, std::string("x")}}};
  EXPECT_TRUE(MainDataProvider::getChangesFromMergeNotification(mistyped)->areEmtpy());
}

// Writes awaited from a coroutine of another executor, on another thread, while the main
// thread keeps working on the view context: the provider must touch that context only on the
// main queue. ThreadSanitizer sees the accesses; the notices' thread is checked in any build.
class MainDataProviderThreadTest : public ProviderFixture {};

TEST_F(MainDataProviderThreadTest, WritesAwaitedFromAnotherThreadTouchTheViewContextOnTheMainQueue) {
  std::string seen;  // what the observers and the final look saw, written on the main queue
  auto note = [&](const char* name) {
    return NotificationCenter::defaultCenter().addObserver(name, nullptr, [&](const Notification&) {
      seen += MainQueue::shared().isMainThread() ? "notice on main | " : "notice elsewhere | ";
    });
  };
  auto archived = note(DataNotifications::didArchiveNodes);
  auto unarchived = note(DataNotifications::didUnarchiveNodes);
  auto onMain = [&](const std::function<void()>& fn) { context().performAndWait(fn); };
  std::vector<std::shared_ptr<ManagedObject>> kept;  // released on the main thread at the end

  // (g++ 12 miscompiles string literals inside a co_await statement: values are built first.)
  const NodeChanges folderData{{NodeChangeKey::name, std::string("F")}};
  const std::optional<std::string> notes = "n";
  auto oneRound = [&]() -> asio::awaitable<void> {
    // Every look at a returned object is made on the main queue.
    auto folder = co_await provider->createFolder(folderData);
    NodeChanges taskData{{NodeChangeKey::name, std::string("T")}};
    std::vector<ObjectID> folderIds;
    onMain([&] { folderIds = {folder->objectID()}; taskData[NodeChangeKey::parentId] = folder->objectID(); });
    auto task = co_await provider->createTask(taskData);
    ObjectID taskId;
    onMain([&] { taskId = task->objectID(); });
    auto first = co_await provider->createTimeEntry(utc(9), utc(9, 30), taskId, false, notes);
    auto second = co_await provider->createTimeEntry(utc(10), utc(10, 15), taskId, false, notes);
    std::vector<std::string> entryIds;
    std::string taskIdentifier;
    onMain([&] { entryIds = {*first->identifier(), *second->identifier()}; taskIdentifier = *task->identifier(); });
    co_await provider->mergeSessions(entryIds, taskIdentifier, MainDataProvider::SessionMergeType::byPushingSessionsTogether);
    co_await provider->archiveNodes(folderIds, true);
    co_await provider->unarchiveNodes(folderIds, true);
    const auto items = provider->getFlatNodeStructure(nullptr, true, false);
    onMain([&] {
      for (const auto& item : items) seen += std::to_string(item.level) + item.node->name() + " ";
      seen += std::to_string(task->sessions().size()) + " | ";
      kept.insert(kept.end(), {folder, task, first, second});
    });
  };

  // The main thread re-reads every node and entry from the store, over and over, as an
  // application's main thread keeps using them, while the other thread writes.
  bool finished = false;
  auto churn = [&]() -> asio::awaitable<void> {
    while (!finished) {
      for (const char* entity : {Node::kEntityName, Session::kEntityName}) {
        for (const auto& object : context().fetch(FetchRequest(entity))) context().refresh(object, true);
      }
      co_await asio::post(MainQueue::shared().executor(), asio::use_awaitable);
    }
  };
  asio::io_context elsewhere;
  auto work = asio::make_work_guard(elsewhere);
  std::thread worker([&] { elsewhere.run(); });
  auto both = [&]() -> asio::awaitable<void> {
    asio::co_spawn(MainQueue::shared().executor(), churn(), asio::detached);
    co_await asio::co_spawn(elsewhere, oneRound(), asio::use_awaitable);
    finished = true;
  };
  runOnMain(both());
  MainQueue::shared().runPending();  // the churn ends
  work.reset();
  worker.join();

  EXPECT_EQ(seen, "notice on main | notice on main | 0F 1T 1 | ");
}

}  // namespace
}  // namespace chronelle::testing
