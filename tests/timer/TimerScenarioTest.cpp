#include <gtest/gtest.h>

#include "TimerFixture.h"
#include "chronelle/data/DataNotifications.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Logging.h"

namespace chronelle::testing {
namespace {

using State = CHTimer::State;

class TimerScenarioTest : public TimerFixture {};

// Each script runs on a fresh store at 09:00 UTC; the notifications after its last `mark` are
// compared ("DurationChanged" apart), then three seconds pass to see whether the tick runs.
TEST_F(TimerScenarioTest, Transitions) {
  const std::string set = "WillSetCurrentSession DidSetCurrentSession ";
  const struct {
    const char* name;
    const char* script;
    std::string events;
    State state;
    bool ticking;
  } cases[] = {
      {"start from idle", "task A; mark; start A", set + "StateChanged Started",
       State::runningManually, true},
      {"start by tracking", "task A; mark; start A auto", set + "StateChanged Started",
       State::runningAutotracked, true},
      {"start interrupts", "task A; task B; start A; advance 125; mark; start B -100",
       "StateChanged " + set + "StateChanged Started", State::runningManually, true},
      {"start interrupts, rounded",
       "prefs up 300 0; task A; task B; start A; advance 10; mark; start B",
       "WillRoundSession StateChanged " + set + "StateChanged Started", State::runningManually,
       true},
      {"start interrupts, dropped",
       "prefs off 0 60; task A; task B; start A; advance 10; mark; start B",
       "WillDropSession " + set + "StateChanged " + set + "StateChanged Started",
       State::runningManually, true},
      {"start on archived task", "task A; archive A; mark; start A", "", State::idle, false},
      {"pause without entry", "mark; pause 0", "Paused", State::idle, false},
      {"pause running", "task A; start A; advance 60; mark; pause 0", "StateChanged Paused",
       State::paused, false},
      {"pause paused again", "task A; start A; pause 60; mark; pause 120", "Paused", State::paused,
       false},
      {"pause paused, now too short",
       "task A; start A; pause 60; prefs off 0 3600; mark; pause 120",
       "WillDropSession " + set + "StateChanged Paused", State::idleWithTask, false},
      {"toggle running", "task A; start A; advance 60; mark; toggle", "StateChanged Paused",
       State::paused, false},
      {"toggle paused starts anew", "task A; start A; advance 60; toggle; mark; toggle",
       set + "StateChanged Started", State::runningManually, true},
      {"toggle from nothing", "mark; toggle", set + "StateChanged Started", State::runningManually,
       true},
      {"clear running", "task A; start A; mark; clear", set + "StateChanged Cleared",
       State::idleWithTask, false},
      {"clear paused", "task A; start A; pause 60; mark; clear", set + "StateChanged Cleared",
       State::idleWithTask, false},
      {"clear idleWithTask", "task A; start A; clear; mark; clear", "", State::idleWithTask, false},
      {"clear idle", "mark; clear", "", State::idle, false},
      {"clearCurrentTask running", "task A; start A; mark; clearTask", set + "StateChanged Cleared",
       State::idle, false},
      {"clearCurrentTask idle", "mark; clearTask", "Cleared", State::idle, false},
      {"setCurrentTask idleWithTask", "task A; task B; start A; clear; mark; setTask B", "",
       State::idleWithTask, false},
      {"setCurrentTask running", "task A; task B; start A; mark; setTask B", "",
       State::runningManually, true},
      {"end set elsewhere", "task A; start A; advance 30; mark; endOutside 20", "StateChanged",
       State::paused, false},
      {"end of paused set elsewhere", "task A; start A; pause 30; mark; endOutside 20", "",
       State::paused, false},
      {"entry moved elsewhere", "task A; task B; start A; mark; moveEntry B", "",
       State::runningManually, true},
      {"entry deleted elsewhere", "task A; start A; mark; deleteEntry",
       set + "StateChanged Cleared", State::idleWithTask, false},
      {"task deleted elsewhere", "task A; start A; mark; delete A",
       set + "StateChanged Cleared StateChanged Cleared", State::idle, false},
      {"task deleted, no entry", "task A; start A; clear; mark; delete A", "StateChanged Cleared",
       State::idle, false},
      {"other task deleted", "task A; task B; start A; mark; delete B", "", State::runningManually,
       true},
      {"task archived elsewhere", "task A; start A; advance 60; mark; archive A",
       "StateChanged Paused " + set + "StateChanged Cleared", State::idle, false},
      {"delete all, running", "task A; start A; mark; deleteAll",
       set + "StateChanged Cleared StateChanged Cleared", State::idle, false},
      {"delete all, idle", "mark; deleteAll", "Cleared", State::idle, false},
      {"relaunch running", "task A; start A; advance 600; relaunch; mark; wakeup",
       set + "StateChanged", State::runningManually, true},
      {"relaunch paused", "task A; start A; pause 60; relaunch; mark; wakeup", set + "StateChanged",
       State::paused, false},
      {"relaunch task only", "task A; start A; clear; relaunch; mark; wakeup", "StateChanged",
       State::idleWithTask, false},
      {"relaunch nothing", "relaunch; mark; wakeup", "", State::idle, false},
      {"wakeup not idle", "task A; start A; mark; wakeup", "", State::runningManually, true},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "case " << index++ << ": " << c.name << " [" << c.script << "]");
    tearDownApplication();
    std::filesystem::remove_all(directory.path());
    std::filesystem::create_directories(directory.path());
    time.set(at(9));
    startApplication();
    runScript(c.script);
    EXPECT_EQ(takeEvents(), c.events);
    EXPECT_EQ(timer->state().description(), c.state.description());
    const int before = durationChanges();
    time.advance(3);
    EXPECT_EQ(durationChanges() - before, c.ticking ? 3 : 0);
    EXPECT_EQ(timer->isRunning(), c.ticking);
  }
}

TEST_F(TimerScenarioTest, StartAndPauseCarryTheirEntryAndPersistIt) {
  runScript("task A; start A 0.75 auto");
  const auto session = timer->currentSession();
  const auto task = taskNamed("A");
  ASSERT_TRUE(session);
  EXPECT_EQ(session->begin(), at(9));  // floored to whole seconds
  EXPECT_TRUE(session->isStartedByLocalATMonitor());
  EXPECT_TRUE(task->hasRunningSession());
  const Notification started = last(CHTimer::NotificationName::started);
  ASSERT_TRUE(started.value<bool>("byAutotracking") &&
              started.value<std::shared_ptr<Session>>("session"));
  EXPECT_TRUE(*started.value<bool>("byAutotracking"));
  EXPECT_EQ(*started.value<std::shared_ptr<Session>>("session"), session);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentSessionKey), session);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), task);

  // Interrupted by a start with an earlier begin: ended at the moment of the call.
  runScript("task B; advance 125; start B -100");
  EXPECT_EQ(session->end(), at(9, 2, 5));
  EXPECT_FALSE(session->isRunning() || task->hasRunningSession());
  EXPECT_EQ(timer->currentSession()->begin(), at(9, 0, 25));

  runScript("pause 5");
  const Notification paused = last(CHTimer::NotificationName::paused);
  EXPECT_EQ(paused.value<std::shared_ptr<Session>>("session")
                ? *paused.value<std::shared_ptr<Session>>("session")
                : nullptr,
            timer->currentSession());
  // Re-assigning the same entry still announces it; clearing the task forgets both keys.
  takeEvents();
  timer->assignCurrentSession(timer->currentSession());
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession");
  runScript("clearTask");
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentSessionKey), nullptr);
  EXPECT_EQ(provider->managedObjectFromUserDefaults(CHTimer::kCurrentTaskKey), nullptr);
}

TEST_F(TimerScenarioTest, DefaultTaskNamesColourAndFailure) {
  Localizer::setTable({{"New task", "Neue Aufgabe"}});
  const auto rotation = ColorSetManager().initiationSorting();
  runScript("start -; clearTask; start -");
  ASSERT_EQ(provider->getAllTasks(true).size(), 2u);
  EXPECT_EQ(taskNamed("First task")->colorId(), ColorSet::rawValue(rotation.at(0)));
  EXPECT_EQ(taskNamed("First task")->parent(), nullptr);
  EXPECT_EQ(taskNamed("Neue Aufgabe")->colorId(), ColorSet::rawValue(rotation.at(1)));
  EXPECT_EQ(timer->currentTask(), taskNamed("Neue Aufgabe"));

  // A default task that cannot be saved (blank name): logged, nothing started, nothing posted.
  Localizer::setTable({{"New task", "   "}});
  runScript("clearTask; mark; start -");
  EXPECT_EQ(takeEvents(), "");
  EXPECT_EQ(timer->state(), State::idle);
  EXPECT_EQ(logs.records(LogLabel::timer).back().message, "Error on creating default task");
}

TEST_F(TimerScenarioTest, RunningTimeReachesEveryNodeAbove) {
  runScript("task A in Top; task B in Top");
  const auto task = taskNamed("A");
  const auto top = std::dynamic_pointer_cast<Folder>(task->parent());
  ASSERT_TRUE(top);
  run(provider->createTimeEntry(at(7), at(8), task->objectID(), false, std::nullopt));
  runScript("start A");
  int announced = 0;
  auto token = top->observe("effectiveDuration", [&](const ObservedChange&) { ++announced; });
  time.advance(90);
  EXPECT_EQ(announced, 90);
  EXPECT_DOUBLE_EQ(task->effectiveDuration(), 3690);
  EXPECT_DOUBLE_EQ(top->effectiveDuration(), 3690);
  EXPECT_DOUBLE_EQ(taskNamed("B")->effectiveDuration(), 0);

  // Booked elsewhere on B: the running mark moves with it.
  runScript("moveEntry B");
  EXPECT_EQ(timer->currentTask(), taskNamed("B"));
  EXPECT_FALSE(task->hasRunningSession());
  EXPECT_TRUE(taskNamed("B")->hasRunningSession() && top->hasRunningSession());

  // Relaunched: the same entry, still counting from its begin.
  const std::string identifier = *timer->currentSession()->identifier();
  runScript("relaunch; wakeup; advance 10");
  EXPECT_EQ(timer->currentSession()->identifier(), identifier);
  EXPECT_DOUBLE_EQ(timer->currentSession()->effectiveDuration(), 100);
  EXPECT_DOUBLE_EQ(taskNamed("B")->parent()->effectiveDuration(), 3700);
}

TEST_F(TimerScenarioTest, StoreChangesAreFilteredBySummaryFirst) {
  runScript("task A; start A; mark");
  const ObjectSet both{timer->currentSession(), timer->currentTask()};
  const auto post = [&](ContextChanges changes, bool withSets) {
    UserInfo info{{DataNotifications::contextChangesKey, changes}};
    if (withSets) info[DataNotifications::deletedObjectsKey] = both;
    NotificationCenter::defaultCenter().post(DataNotifications::mainContextDidChange, nullptr,
                                             info);
  };
  const auto kinds = ContextChanges::Entity::session | ContextChanges::Entity::task;
  post({kinds, {}, {}}, true);                         // inserts only
  post({{}, {}, kinds}, false);                        // a merge: no object sets
  post({{}, {}, ContextChanges::Entity::rule}, true);  // nothing tracked
  drain();
  EXPECT_EQ(takeEvents(), "");
  post({{}, {}, ContextChanges::Entity::session}, true);  // acted on, on the next main-queue task
  EXPECT_EQ(takeEvents(), "");
  drain();
  EXPECT_EQ(takeEvents(),
            "WillSetCurrentSession DidSetCurrentSession StateChanged Cleared StateChanged Cleared");
}

}  // namespace
}  // namespace chronelle::testing
