#include <gtest/gtest.h>

#include "TimerFixture.h"
#include "chronelle/data/DataNotifications.h"

namespace chronelle::testing {
namespace {

using State = CHTimer::State;

class TimerRelaunchTest : public TimerFixture {
 protected:
  // Destroys stack, provider, timer and defaults, then builds them again on the same files.
  void relaunch() {
    tearDownApplication();
    startApplication();
    takeEvents();
  }
};

TEST_F(TimerRelaunchTest, RunningEntryTicksAgainWithoutStarted) {
  auto task = makeTask("Task");
  auto session = run(timer->start(task, at(9), false));
  const std::string identifier = *session->identifier();
  std::weak_ptr<CHTimer> oldTimer = timer;
  session.reset();
  task.reset();
  time.advance(600);
  relaunch();
  EXPECT_TRUE(oldTimer.expired());

  timer->wakeup();
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged");
  EXPECT_EQ(timer->state(), State::runningManually);
  ASSERT_TRUE(timer->currentSession());
  EXPECT_EQ(timer->currentSession()->identifier(), identifier);
  EXPECT_TRUE(timer->isRunning());
  EXPECT_TRUE(timer->currentTask()->hasRunningSession());
  EXPECT_DOUBLE_EQ(timer->currentSession()->effectiveDuration(), 600);
  time.advance(2);
  EXPECT_EQ(takeEvents(true), "DurationChanged DurationChanged");
  EXPECT_DOUBLE_EQ(timer->currentTask()->effectiveDuration(), 602);

  // A second wakeup outside idle does nothing.
  timer->wakeup();
  EXPECT_EQ(takeEvents(), "");
}

TEST_F(TimerRelaunchTest, PausedEntryComesBackPausedAndTaskAloneIdleWithTask) {
  auto task = makeTask("Task");
  run(timer->start(task, at(9), false));
  run(timer->pause(at(9, 30), false));
  relaunch();
  timer->wakeup();
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged");
  EXPECT_EQ(timer->state(), State::paused);
  ASSERT_TRUE(timer->currentSession());
  EXPECT_EQ(timer->currentSession()->end(), at(9, 30));
  EXPECT_FALSE(timer->isRunning());
  time.advance(3);
  EXPECT_EQ(durationChanges(), 0);

  timer->clear();
  relaunch();
  timer->wakeup();
  EXPECT_EQ(takeEvents(), "StateChanged");
  EXPECT_EQ(timer->state(), State::idleWithTask);
  ASSERT_TRUE(timer->currentTask());
  EXPECT_EQ(timer->currentTask()->name(), "Task");
}

TEST_F(TimerRelaunchTest, StoredEntryWithoutTaskIsForgotten) {
  auto task = makeTask("Task");
  // An ID that is not a task's leaves the new entry without one.
  auto folder = makeFolder("Folder");
  auto loose = run(provider->createTimeEntry(at(8), at(8, 30), folder->objectID(), false, std::nullopt));
  ASSERT_TRUE(loose);
  ASSERT_EQ(loose->task(), nullptr);
  provider->setManagedObjectInUserDefaults(loose, CHTimer::kCurrentSessionKey);
  provider->setManagedObjectInUserDefaults(task, CHTimer::kCurrentTaskKey);
  relaunch();
  timer->wakeup();
  EXPECT_EQ(timer->state(), State::idleWithTask);
  EXPECT_EQ(timer->currentSession(), nullptr);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentSessionKey), nullptr);

  // Nothing stored at all: wakeup stays idle and posts nothing.
  timer->clearCurrentTask();
  relaunch();
  timer->wakeup();
  EXPECT_EQ(takeEvents(), "");
  EXPECT_EQ(timer->state(), State::idle);
}

TEST_F(TimerRelaunchTest, RunningTimeShowsInEveryNodeAboveTheTask) {
  auto top = makeFolder("Top");
  auto inner = makeFolder("Inner", top);
  auto task = makeTask("Task", inner);
  auto sibling = makeTask("Sibling", top);
  // A finished entry gives the chain a confirmed total.
  run(provider->createTimeEntry(at(7), at(8), task->objectID(), false, std::nullopt));
  ASSERT_DOUBLE_EQ(top->confirmedDuration(), 3600);

  run(timer->start(task, time.now(), false));
  int topAnnouncements = 0;
  auto token = top->observe("effectiveDuration", [&](const ObservedChange&) { ++topAnnouncements; });
  time.advance(90);
  EXPECT_EQ(topAnnouncements, 90);  // one per tick, up the chain
  for (const auto& node : std::vector<std::shared_ptr<Node>>{task, inner, top}) {
    EXPECT_DOUBLE_EQ(node->effectiveDuration(), 3690) << node->name();
  }
  EXPECT_DOUBLE_EQ(sibling->effectiveDuration(), 0);

  run(timer->pause(time.now(), false));
  for (const auto& node : std::vector<std::shared_ptr<Node>>{task, inner, top}) {
    EXPECT_FALSE(node->hasRunningSession()) << node->name();
    EXPECT_DOUBLE_EQ(node->effectiveDuration(), 3690) << node->name();  // now confirmed
  }
}

}  // namespace
}  // namespace chronelle::testing
