#include <gtest/gtest.h>

#include <functional>

#include "teststack/ProviderFixture.h"
#include "chronelle/model/ALEntry.h"

namespace chronelle::testing {
namespace {

const std::string none = "[]";
const std::string session = R"(["session"])";
const std::string task = R"(["task"])";
const std::string folder = R"(["folder"])";
const std::string sessionAndTask = R"(["session", "task"])";

class MainDataProviderNotificationTest : public ProviderFixture {
 protected:
  MainDataProviderNotificationTest() {
    f = makeFolder("F");
    a = makeTask("A", f);
    b = makeTask("B", nullptr, 1);
    entry = makeSession(a, utc(9), utc(10));
    log = context().insert<ALEntry>(ALEntry::kEntityName);
    log->setBegin(utc(8));
    save();
    MainQueue::shared().runPending();
    events.clear();
  }

  std::shared_ptr<Folder> f;
  std::shared_ptr<Task> a, b;
  std::shared_ptr<Session> entry;
  std::shared_ptr<ALEntry> log;
};

TEST_F(MainDataProviderNotificationTest,
       OneChangeNotificationFollowsEachWriteThatChangedSomething) {
  struct Case {
    const char* name;
    std::function<asio::awaitable<void>()> run;
    std::string expected;
  };
  using TKey = TimeEntryChangeKey;
  const Case cases[] = {
      {"create task in folder",
       [&] {
         return discardResult(
             provider->createTask({{NodeChangeKey::name, std::string("T")}, {NodeChangeKey::parentId, f->objectID()}}));
       },
       "returned | " + changed(task, folder, none)},
      {"create finished entry",
       [&] { return discardResult(provider->createTimeEntry(utc(11), utc(12), a->objectID(), false, {})); },
       "returned | " + changed(session, task, none)},
      {"re-time entry", [&] { return provider->updateTimeEntry(entry->objectID(), {{TKey::end, utc(10, 30)}}); },
       "returned | " + changed(none, session, none)},
      {"move entry to another task",
       [&] { return provider->updateTimeEntry(entry->objectID(), {{TKey::taskId, b->objectID()}}); },
       "returned | " + changed(none, sessionAndTask, none)},
      {"rename folder",
       [&] { return provider->updateNode(f->objectID(), {{NodeChangeKey::name, std::string("G")}}); },
       "returned | " + changed(none, folder, none)},
      {"delete entry", [&] { return provider->deleteTimeEntries({entry}); },
       "returned | " + changed(none, task, session)},
      {"delete activity-log entry", [&] { return provider->deleteActivityLogs({log->objectID()}); },
       "returned | " + changed(none, none, R"(["alEntry"])")},
      {"write without changes", [&] { return provider->updateTimeEntries({}, {{TKey::end, utc(9)}}); }, "returned"},
  };
  for (const auto& c : cases) {
    write(c.run());
    EXPECT_EQ(takeEvents(), c.expected) << "case " << c.name;
  }
}

TEST_F(MainDataProviderNotificationTest,
       ChangeNotificationCarriesTheSavedObjectsAndMergesOnlyTheChangeSet) {
  auto created = write(
      provider->createTimeEntry(utc(11), std::nullopt, a->objectID(), true, std::string("n")));
  EXPECT_EQ(lastChange.object, nullptr);
  const auto* inserted = lastChange.value<ObjectSet>(DataNotifications::insertedObjectsKey);
  ASSERT_NE(inserted, nullptr);
  ASSERT_EQ(inserted->size(), 1u);
  EXPECT_EQ(inserted->front(), created);
  EXPECT_NE(lastChange.value<ObjectSet>(DataNotifications::updatedObjectsKey), nullptr);
  EXPECT_NE(lastChange.value<ObjectSet>(DataNotifications::deletedObjectsKey), nullptr);
  takeEvents();

  // A merge is announced at once, on the posting thread, with the change set only.
  NotificationCenter::defaultCenter().post(
      ObjectContext::kDidMergeChangesObjectIDsNotification, stack->viewContext().get(),
      {{ObjectContext::kUpdatedObjectIDsKey, ObjectIDSet{a->objectID()}}});
  EXPECT_EQ(takeEvents(), changed(none, task, none));
  EXPECT_EQ(lastChange.userInfo.size(), 1u);

  // A did-save without user info is not announced.
  provider->contextDidSave(
      Notification{ObjectContext::kDidSaveNotification, stack->viewContext().get(), {}});
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
  bool loggedFailure = false;
  for (const auto& record : logs.records("Data"))
    loggedFailure |= record.message == "Error on contextDidSave";
  EXPECT_TRUE(loggedFailure);
  EXPECT_FALSE(provider->ignoreContextDidChangeNotifications());
  EXPECT_FALSE(context().hasChanges());
  EXPECT_EQ(b->name(), "B");

  write(provider->updateNode(b->objectID(), {{NodeChangeKey::name, std::string("B2")}}));
  EXPECT_EQ(takeEvents(), "returned | " + changed(none, task, none));
}

TEST(MainDataProviderClassificationTest, SavedObjectsAndMergedIDsAreClassifiedByKind) {
  const std::string store = "11111111-2222-3333-4444-555555555555";
  struct Case {
    const char* entity;
    std::int64_t mergedBit;
  };
  // Rules and combinations name neither "/RuleSet" nor "/RuleBase" in their URIs.
  const Case cases[] = {{"Task", 2},     {"Folder", 4},          {"Session", 1},           {"RuleSet", 8},
                        {"RuleBase", 16}, {"Rule", 0},            {"RuleCombination", 0},   {"ALEntry", 32},
                        {"BrowserALEntry", 32}, {"DocumentAppALEntry", 32}, {"Unknown", 0}};
  for (const auto& c : cases) {
    for (const ObjectID& id :
         {ObjectID::permanent(c.entity, 7, store), ObjectID::temporary(c.entity)}) {
      Notification merge{
          "merge", nullptr, {{ObjectContext::kDeletedObjectIDsKey, ObjectIDSet{id}}}};
      const auto changes = MainDataProvider::getChangesFromMergeNotification(merge);
      ASSERT_TRUE(changes.has_value());
      EXPECT_EQ(changes->deletes.rawValue, c.mergedBit) << "case " << id.uriRepresentation();
      EXPECT_TRUE(changes->inserts.isEmpty() && changes->updates.isEmpty()) << "case " << c.entity;
    }
  }
  EXPECT_FALSE(MainDataProvider::getChangesFromMergeNotification(Notification{"merge", nullptr, {}})
                   .has_value());
  // A value of another type under a key adds nothing.
  const Notification mistyped{
      "merge", nullptr, {{ObjectContext::kInsertedObjectIDsKey, std::string("x")}}};
  EXPECT_TRUE(MainDataProvider::getChangesFromMergeNotification(mistyped)->areEmtpy());
}

}  // namespace
}  // namespace chronelle::testing
