#include <gtest/gtest.h>

#include "TimerFixture.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/support/Logging.h"

namespace chronelle::testing {
namespace {

using State = CHTimer::State;
using Name = CHTimer::NotificationName;

TEST(CHTimerStateTest, RawValuesAndNoStateFromFiveOn) {
  const struct {
    int raw;
    std::optional<State> state;
  } cases[] = {{0, State::idle},    {1, State::idleWithTask},       {2, State::paused},
               {3, State::runningManually}, {4, State::runningAutotracked}, {5, std::nullopt},
               {9, std::nullopt},  {-1, std::nullopt}};
  for (const auto& c : cases) {
    const auto state = State::fromRaw(c.raw);
    ASSERT_EQ(state.has_value(), c.state.has_value()) << "raw " << c.raw;
    if (state) {
      EXPECT_EQ(*state, *c.state) << "raw " << c.raw;
      EXPECT_EQ(state->rawValue(), c.raw);
    }
  }
}

class TimerTransitionTest : public TimerFixture {};

TEST_F(TimerTransitionTest, StartFromIdleRunsTheNewEntryAndPersistsIt) {
  auto task = makeTask("Writing");
  takeEvents();
  auto session = run(timer->start(task, time.now().addingTimeInterval(0.75), false));
  ASSERT_TRUE(session);
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Started");
  EXPECT_EQ(timer->state(), State::runningManually);
  EXPECT_EQ(timer->currentSession(), session);
  EXPECT_EQ(timer->currentTask(), task);
  EXPECT_EQ(timer->runningSession(), session);
  EXPECT_TRUE(session->isRunning());
  EXPECT_TRUE(task->hasRunningSession());
  EXPECT_FALSE(session->end().has_value());
  EXPECT_EQ(session->begin(), time.now());  // floored to whole seconds

  const Notification started = last(Name::started);
  ASSERT_TRUE(started.value<bool>(Name::byAutotrackingKey));
  EXPECT_FALSE(*started.value<bool>(Name::byAutotrackingKey));
  ASSERT_TRUE(started.value<std::shared_ptr<Session>>(Name::sessionKey));
  EXPECT_EQ(*started.value<std::shared_ptr<Session>>(Name::sessionKey), session);

  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentSessionKey), session);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), task);

  // Started by automatic tracking: the other running state, flagged on the entry.
  run(timer->pause(time.now() + 60, false));
  auto tracked = run(timer->start(task, time.now(), true));
  ASSERT_TRUE(tracked);
  EXPECT_EQ(timer->state(), State::runningAutotracked);
  EXPECT_TRUE(tracked->isStartedByLocalATMonitor());
  EXPECT_TRUE(tracked->autotracked());
}

TEST_F(TimerTransitionTest, StartWhileRunningPausesTheRunningEntryFirstAtTheCurrentTime) {
  auto first = makeTask("First");
  auto second = makeTask("Second");
  auto running = run(timer->start(first, time.now(), false));
  time.advance(125);
  takeEvents();

  // Begin given in the past: the interrupted entry still ends at the moment of the call.
  auto next = run(timer->start(second, time.now() - 100, false));
  ASSERT_TRUE(next);
  EXPECT_EQ(takeEvents(), "StateChanged WillSetCurrentSession DidSetCurrentSession StateChanged Started");
  EXPECT_EQ(running->end(), time.now());
  EXPECT_FALSE(running->isRunning());
  EXPECT_FALSE(first->hasRunningSession());
  EXPECT_TRUE(second->hasRunningSession());
  EXPECT_EQ(timer->currentTask(), second);
  EXPECT_EQ(next->begin(), time.now() - 100);

  // The interrupting pause rounds and drops like any pause, but posts no "Paused".
  setPrefs(true, 300, RoundingMethodOption::up, 0);
  time.advance(10);
  run(timer->start(first, time.now(), false));
  EXPECT_EQ(takeEvents(),
            "WillRoundSession StateChanged WillSetCurrentSession DidSetCurrentSession StateChanged Started");
  setPrefs(false, 300, RoundingMethodOption::up, 60);
  time.advance(10);
  run(timer->start(second, time.now(), false));
  EXPECT_EQ(takeEvents(),
            "WillDropSession WillSetCurrentSession DidSetCurrentSession StateChanged "
            "WillSetCurrentSession DidSetCurrentSession StateChanged Started");
}

TEST_F(TimerTransitionTest, StartWithAPausedEntryLeavesItsEnd) {
  auto task = makeTask("Task");
  auto paused = run(timer->start(task, time.now(), false));
  run(timer->pause(time.now() + 300, false));
  time.advance(900);
  auto next = run(timer->start(nullptr, time.now(), false));
  ASSERT_TRUE(next);
  EXPECT_EQ(paused->end(), at(9, 5));
  EXPECT_EQ(next->task(), task);  // the current task
}

TEST_F(TimerTransitionTest, StartOnArchivedTaskIsRefusedSilently) {
  auto task = makeTask("Old");
  run(provider->archiveNodes({task->objectID()}, false));
  takeEvents();
  EXPECT_EQ(run(timer->start(task, time.now(), false)), nullptr);
  EXPECT_EQ(takeEvents(), "");
  EXPECT_EQ(timer->state(), State::idle);
  EXPECT_TRUE(provider->getRunningTimeEntries().empty());
}

TEST_F(TimerTransitionTest, StartWithoutAnyTaskCreatesTheDefaultTask) {
  const auto expectedColor = ColorSetManager().initiationSorting().front();
  auto session = run(timer->start(nullptr, time.now(), false));
  ASSERT_TRUE(session && session->task());
  EXPECT_EQ(session->task()->name(), "First task");
  EXPECT_EQ(session->task()->parent(), nullptr);
  EXPECT_EQ(session->task()->colorId(), ColorSet::rawValue(expectedColor));

  // With tasks present (and no current task) the name is the other key, through the table.
  timer->clearCurrentTask();
  Localizer::setTable({{"New task", "Neue Aufgabe"}});
  auto another = run(timer->start(nullptr, time.now(), false));
  ASSERT_TRUE(another && another->task());
  EXPECT_EQ(another->task()->name(), "Neue Aufgabe");
  EXPECT_NE(another->task(), session->task());
  EXPECT_EQ(provider->getTotalTasksCount(), 2u);
}

TEST_F(TimerTransitionTest, DefaultTaskThatCannotBeCreatedLeavesTheTimerAsItWas) {
  // A blank name fails the save's validation.
  Localizer::setTable({{"First task", "   "}});
  takeEvents();
  EXPECT_EQ(run(timer->start(nullptr, time.now(), false)), nullptr);
  EXPECT_EQ(takeEvents(), "");
  EXPECT_EQ(timer->state(), State::idle);
  EXPECT_EQ(provider->getTotalTasksCount(), 0u);
  EXPECT_TRUE(provider->getSessions(std::nullopt).empty());
  EXPECT_EQ(logs.records(LogLabel::timer).back().message, "Error on creating default task");
}

TEST_F(TimerTransitionTest, ToggleAlternatesAndNeverResumesAPausedEntry) {
  auto task = makeTask("Task");
  timer->setCurrentTask(task);  // not idleWithTask: ignored
  EXPECT_EQ(timer->currentTask(), nullptr);
  run(timer->start(task, time.now(), false));
  auto first = timer->currentSession();
  time.advance(60);
  takeEvents();
  run(timer->toggle());
  EXPECT_EQ(takeEvents(), "StateChanged Paused");
  EXPECT_EQ(first->end(), time.now());
  time.advance(60);
  run(timer->toggle());
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Started");
  EXPECT_NE(timer->currentSession(), first);
  EXPECT_EQ(timer->currentSession()->task(), task);
  EXPECT_EQ(first->end(), at(9, 1));
}

TEST_F(TimerTransitionTest, ClearAndClearCurrentTask) {
  auto task = makeTask("Task");
  // Nothing current: clear does nothing, clearCurrentTask still posts.
  EXPECT_EQ(timer->clear(), nullptr);
  EXPECT_EQ(takeEvents(), "");

  auto session = run(timer->start(task, time.now(), false));
  time.advance(30);
  takeEvents();
  EXPECT_EQ(timer->clear(), session);
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idleWithTask);
  EXPECT_EQ(timer->currentTask(), task);
  EXPECT_FALSE(task->hasRunningSession());
  EXPECT_FALSE(session->end().has_value());  // not written
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentSessionKey), nullptr);
  const int ticks = durationChanges();
  time.advance(5);
  EXPECT_EQ(durationChanges(), ticks);  // the tick stopped

  // idleWithTask: clear does nothing; setCurrentTask changes the task.
  EXPECT_EQ(timer->clear(), nullptr);
  auto other = makeTask("Other");
  takeEvents();
  timer->setCurrentTask(other);
  EXPECT_EQ(timer->currentTask(), other);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), other);
  EXPECT_EQ(takeEvents(), "");

  EXPECT_EQ(timer->clearCurrentTask(), nullptr);
  EXPECT_EQ(takeEvents(), "StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idle);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), nullptr);

  // A paused entry is cleared too; clearCurrentTask returns the entry it drops.
  auto paused = run(timer->start(task, time.now(), false));
  run(timer->pause(time.now() + 60, false));
  takeEvents();
  EXPECT_EQ(timer->clearCurrentTask(), paused);
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared");
  EXPECT_EQ(timer->state(), State::idle);
}

TEST_F(TimerTransitionTest, SettingTheSessionDirectly) {
  auto task = makeTask("Task");
  auto ended = run(provider->createTimeEntry(at(8), at(8, 30), task->objectID(), false, std::nullopt));
  auto open = run(provider->createTimeEntry(at(8, 40), std::nullopt, task->objectID(), false, std::nullopt));
  takeEvents();

  // continueRunning refuses an ended entry; set(currentSession:) pauses on any entry.
  timer->continueRunning(ended);
  EXPECT_EQ(takeEvents(), "");
  timer->setCurrentSession(ended);
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged");
  EXPECT_EQ(timer->state(), State::paused);
  timer->setCurrentSession(open);  // there is a current entry: nothing
  EXPECT_EQ(timer->currentSession(), ended);

  // Re-assigning the same entry still announces it.
  timer->assignCurrentSession(ended);
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession");

  timer->continueRunning(open);
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession StateChanged");
  EXPECT_EQ(timer->state(), State::runningManually);
  EXPECT_TRUE(open->isRunning());
  EXPECT_FALSE(ended->isRunning());
  time.advance(1);
  EXPECT_EQ(takeEvents(true), "DurationChanged");

  // The state setter always announces, even without a change.
  timer->setState(State::runningManually);
  EXPECT_EQ(takeEvents(), "StateChanged");
}

}  // namespace
}  // namespace chronelle::testing
