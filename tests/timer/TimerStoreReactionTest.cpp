#include <gtest/gtest.h>

#include "TimerFixture.h"
#include "chronelle/data/DataNotifications.h"

namespace chronelle::testing {
namespace {

using State = CHTimer::State;

class TimerStoreReactionTest : public TimerFixture {
 protected:
  void SetUp() override {
    task = makeTask("Task");
    session = run(timer->start(task, at(9), false));
    time.advance(120);
    takeEvents();
  }
  std::shared_ptr<Task> task;
  std::shared_ptr<Session> session;
};

TEST_F(TimerStoreReactionTest, EndSetElsewherePausesWithoutPausedNotification) {
  run(provider->updateTimeEntry(session->objectID(), {{TimeEntryChangeKey::end, at(9, 1)}}));
  EXPECT_EQ(takeEvents(), "StateChanged");
  EXPECT_EQ(timer->state(), State::paused);
  EXPECT_FALSE(session->isRunning());
  EXPECT_FALSE(task->hasRunningSession());
  const int before = durationChanges();
  time.advance(5);
  EXPECT_EQ(durationChanges(), before);

  // A later outside edit of a paused entry's end changes nothing in the timer.
  run(provider->updateTimeEntry(session->objectID(), {{TimeEntryChangeKey::end, at(9, 2)}}));
  EXPECT_EQ(takeEvents(), "");
}

TEST_F(TimerStoreReactionTest, EntryMovedToAnotherTaskMovesTheRunningMark) {
  auto folder = makeFolder("Folder");
  auto other = makeTask("Other", folder);
  takeEvents();
  run(provider->updateTimeEntry(session->objectID(), {{TimeEntryChangeKey::taskId, other->objectID()}}));
  EXPECT_EQ(timer->currentTask(), other);
  EXPECT_FALSE(task->hasRunningSession());
  EXPECT_TRUE(other->hasRunningSession());
  EXPECT_TRUE(folder->hasRunningSession());
  EXPECT_EQ(timer->state(), State::runningManually);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), other);
}

TEST_F(TimerStoreReactionTest, CurrentEntryDeletedElsewhereClears) {
  run(provider->deleteTimeEntries({session}));
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idleWithTask);
  EXPECT_EQ(timer->currentTask(), task);
}

TEST_F(TimerStoreReactionTest, CurrentTaskDeletedElsewhereGoesIdle) {
  run(provider->deleteNodes({task->objectID()}));
  // The entry goes with its task: first cleared as a deleted entry, then as a deleted task.
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idle);
  EXPECT_EQ(timer->currentTask(), nullptr);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), nullptr);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentSessionKey), nullptr);
}

TEST_F(TimerStoreReactionTest, CurrentTaskArchivedElsewherePausesThenGoesIdle) {
  const std::string identifier = *session->identifier();
  run(provider->archiveNodes({task->objectID()}, false));
  drain();
  EXPECT_EQ(takeEvents(), "StateChanged Paused WillSetCurrentSession DidSetCurrentSession StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idle);
  auto stored = provider->getSession(identifier);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->end(), at(9, 2));
}

TEST_F(TimerStoreReactionTest, OtherChangesAreIgnored) {
  // Another task deleted, another entry edited: nothing for the timer.
  auto other = makeTask("Other");
  auto entry = run(provider->createTimeEntry(at(7), at(8), other->objectID(), false, std::nullopt));
  run(provider->updateTimeEntry(entry->objectID(), {{TimeEntryChangeKey::notes, std::string("n")}}));
  run(provider->deleteNodes({other->objectID()}));
  EXPECT_EQ(takeEvents(), "");

  // A summary of inserts only, or one without object sets (a merge), is not looked into even
  // when the sets would name the current entry and task.
  auto& center = NotificationCenter::defaultCenter();
  const ObjectSet both{session, task};
  center.post(DataNotifications::mainContextDidChange, nullptr,
              {{DataNotifications::contextChangesKey,
                ContextChanges{ContextChanges::Entity::session | ContextChanges::Entity::task, {}, {}}},
               {DataNotifications::deletedObjectsKey, both}});
  center.post(DataNotifications::mainContextDidChange, nullptr,
              {{DataNotifications::contextChangesKey,
                ContextChanges{{}, {}, ContextChanges::Entity::session | ContextChanges::Entity::task}}});
  // Changes of rules only are not tracked data.
  center.post(DataNotifications::mainContextDidChange, nullptr,
              {{DataNotifications::contextChangesKey, ContextChanges{{}, {}, ContextChanges::Entity::rule}},
               {DataNotifications::deletedObjectsKey, both}});
  drain();
  EXPECT_EQ(takeEvents(), "");
  EXPECT_EQ(timer->state(), State::runningManually);

  // The same sets behind a summary with deletes are acted on, and only on the next task.
  center.post(DataNotifications::mainContextDidChange, nullptr,
              {{DataNotifications::contextChangesKey, ContextChanges{{}, {}, ContextChanges::Entity::session}},
               {DataNotifications::deletedObjectsKey, both}});
  EXPECT_EQ(takeEvents(), "");
  drain();
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared StateChanged Cleared");
}

TEST_F(TimerStoreReactionTest, DeleteAllNodesClearsTwice) {
  run(provider->executeWriteOperation(
      [](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) { modifier.deleteAllNodes(); }));
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idle);

  // From idle: the second clear alone posts.
  NotificationCenter::defaultCenter().post(DataNotifications::willDeleteAllNodes);
  drain();
  EXPECT_EQ(takeEvents(), "Cleared");
}

}  // namespace
}  // namespace chronelle::testing
