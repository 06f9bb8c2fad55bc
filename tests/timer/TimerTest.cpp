// The timer on a real stack (UTC, clock at 2026-03-10 09:00): transitions driven by scripts,
// rounding and the minimum length on pause, what it writes and posts, and store failures.

#include <cmath>
#include <functional>
#include <map>
#include <sstream>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/CHTimerPreferences.h"
#include "testsupport/RunOnMain.h"
#include "testsupport/SqliteFile.h"
#include "teststack/StackFixture.h"

namespace chronelle::testing {
namespace {

using State = CHTimer::State;
using Name = CHTimer::NotificationName;
using Method = RoundingMethodOption;

// 2026-03-10 in UTC at the given wall time.
Date at(int hour, int minute = 0, double seconds = 0) { return utc(hour, minute) + seconds; }
// The value under `key` of a notification's user info, if there is one of type T.
template <class T>
std::optional<T> get(const Notification& n, const char* key) {
  return n.value<T>(key) ? std::optional<T>(*n.value<T>(key)) : std::nullopt;
}

// The application's start-up on the stack: provider, palette, preferences and timer in the
// container, and a record of the timer's notifications.
class TimerTest : public StackFixture {
 protected:
  TimerTest() : StackFixture(at(9)) {
    Localizer::reset();
    for (const char* name : {Name::willSetCurrentSession, Name::didSetCurrentSession, Name::durationChanged,
                             Name::stateChanged, Name::started, Name::paused, Name::cleared, Name::willDropSession,
                             Name::willRoundSession})
      recorders.push_back(NotificationCenter::defaultCenter().addObserver(name, nullptr, [this](const Notification& n) {
        events.push_back(n);
        lastByName[n.name] = n;
      }));
    startServices();
  }
  ~TimerTest() override {
    tearDownApplication();
    recorders.clear();
    Localizer::reset();
  }

  void startServices() {
    auto& container = Injector::sharedSyncedContainer();
    container.registerInstance<MainDataProvider>(provider = std::make_shared<MainDataProvider>());
    container.registerInstance<ColorSetManager>(std::make_shared<ColorSetManager>(UserDefaults::standard()));
    prefs = std::make_shared<CHTimerPreferences>();
    timer = std::make_shared<CHTimer>();
    timer->setDataProvider(provider);
    timer->setPrefs(prefs);
    container.registerInstance<CHTimer>(timer);  // under its own type only, as the start-up does
  }
  void tearDownApplication() {
    drain();
    Injector::sharedSyncedContainer().removeAll();
    timer.reset(), prefs.reset(), provider.reset();
    closeStack();
  }
  void drain() { MainQueue::shared().runPending(); }
  void setPrefs(bool rounding, double step, Method method, double minimum) {
    prefs->setValues({rounding, step, method, minimum});
  }
  std::shared_ptr<Task> taskNamed(const std::string& name) {
    for (const auto& task : provider->getAllTasks(true))
      if (task->name() == name) return task;
    ADD_FAILURE() << "no task " << name;
    return nullptr;
  }

  // Runs a script of `;`-separated steps, each driven to its end: `task N [in F]`, `start N|-
  // [offset] [auto]`, `pause offset`, `advance S`, `prefs off|up|down|nearest step minimum`,
  // `toggle`, `clear`, `clearTask`, `wakeup`, `relaunch` (on the same files), `setTask N`, and
  // elsewhere: `archive N`, `delete N`, `deleteEntry`, `deleteAll`, `endOutside S` (the end at
  // begin + S), `moveEntry N`; `mark` forgets the notifications so far. Offsets are from now.
  void runScript(const std::string& script) {
    std::istringstream steps(script);
    for (std::string step; std::getline(steps, step, ';'); drain()) {
      std::istringstream in(step);
      std::string command, arg, extra, more;
      in >> command >> arg >> extra >> more;
      const auto number = [](const std::string& text) { return text.empty() ? 0.0 : std::stod(text); };
      const auto entry = [&] { return timer->currentSession(); };
      const auto change = [&](TimeEntryChanges changes) {
        runToEnd(provider->updateTimeEntry(entry()->objectID(), std::move(changes)));
      };
      if (command == "task") addTask(arg, more);
      else if (command == "start") {
        if (extra == "auto") std::swap(extra, more);
        runToEnd(timer->start(arg == "-" ? nullptr : taskNamed(arg), time.now() + number(extra),
                              more == "auto"));
      } else if (command == "pause") runToEnd(timer->pause(time.now() + number(arg), false));
      else if (command == "advance") time.advance(number(arg));
      else if (command == "prefs") {
        const auto method = arg == "up"     ? Method::up
                            : arg == "down" ? Method::down
                                            : Method::nearest;
        setPrefs(arg != "off", number(extra) > 0 ? number(extra) : 300, method, number(more));
      } else if (command == "toggle") runToEnd(timer->toggle());
      else if (command == "clear") timer->clear();
      else if (command == "clearTask") timer->clearCurrentTask();
      else if (command == "wakeup") timer->wakeup();
      else if (command == "relaunch") tearDownApplication(), openStack(), startServices();
      else if (command == "setTask") timer->setCurrentTask(taskNamed(arg));
      else if (command == "archive")
        runToEnd(provider->archiveNodes({taskNamed(arg)->objectID()}, false));
      else if (command == "delete") runToEnd(provider->deleteNodes({taskNamed(arg)->objectID()}));
      else if (command == "deleteEntry") runToEnd(provider->deleteTimeEntries({entry()}));
      else if (command == "deleteAll")
        runToEnd(provider->executeWriteOperation(
            [](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
              modifier.deleteAllNodes();
            }));
      else if (command == "endOutside")
        change({{TimeEntryChangeKey::end, *entry()->begin() + number(arg)}});
      else if (command == "moveEntry")
        change({{TimeEntryChangeKey::taskId, taskNamed(arg)->objectID()}});
      else if (command == "mark") takeEvents();
      else if (!command.empty()) ADD_FAILURE() << "unknown step " << step;
    }
  }
  // A task named `name`, in the top-level folder `folder` (created when new) unless empty.
  void addTask(const std::string& name, const std::string& folderName) {
    std::shared_ptr<Folder> folder;
    for (const auto& node : provider->getChildren(nullptr, NodeFilter::allNodes))
      if (!folderName.empty() && node->name() == folderName) folder = std::dynamic_pointer_cast<Folder>(node);
    if (!folderName.empty() && !folder) folder = runToEnd(provider->createFolder({{NodeChangeKey::name, folderName}}));
    NodeChanges data{{NodeChangeKey::name, name}};
    if (folder) data[NodeChangeKey::parentId] = folder->objectID();
    runToEnd(provider->createTask(std::move(data)));
  }

  // The names of the notifications since the last call, space-separated; "DurationChanged"
  // left out unless `withDuration`.
  std::string takeEvents(bool withDuration = false) {
    std::string text;
    for (const auto& event : events)
      if (withDuration || event.name != Name::durationChanged) text += (text.empty() ? "" : " ") + event.name;
    events.clear();
    return text;
  }
  // The last notification posted with `name` (empty name when none).
  Notification last(const std::string& name) const {
    auto it = lastByName.find(name);
    return it == lastByName.end() ? Notification() : it->second;
  }

  std::shared_ptr<MainDataProvider> provider;
  std::shared_ptr<CHTimerPreferences> prefs;
  std::shared_ptr<CHTimer> timer;
  std::vector<Notification> events;
  std::map<std::string, Notification> lastByName;
  std::vector<ObserverToken> recorders;
};

// Each script runs on a fresh store at 09:00 UTC with tasks A and B; the notifications after its
// last `mark` ("DurationChanged" apart, "Set" for WillSetCurrentSession DidSetCurrentSession) and
// the state ("running": runningManually) are compared, then three seconds pass: the tick runs
// in the running states only.
TEST_F(TimerTest, Transitions) {
  const std::pair<const char*, std::string> cases[] = {
      {"mark; start A", "Set StateChanged Started = running"},
      {"mark; start A auto", "Set StateChanged Started = runningAutotracked"},
      {"start A; advance 125; mark; start B -100",
       "StateChanged Set StateChanged Started = running"},
      {"prefs up 300 0; start A; advance 10; mark; start B",
       "WillRoundSession StateChanged Set StateChanged Started = running"},
      {"prefs off 0 60; start A; advance 10; mark; start B",
       "WillDropSession Set StateChanged Set StateChanged Started = running"},
      {"archive A; mark; start A", "= idle"},
      {"mark; pause 0", "Paused = idle"},
      {"start A; advance 60; mark; pause 0", "StateChanged Paused = paused"},
      {"start A; pause 60; mark; pause 120", "Paused = paused"},
      {"start A; pause 60; prefs off 0 3600; mark; pause 120",
       "WillDropSession Set StateChanged Paused = idleWithTask"},
      {"start A; advance 60; mark; toggle", "StateChanged Paused = paused"},
      {"start A; advance 60; toggle; mark; toggle", "Set StateChanged Started = running"},
      {"mark; toggle", "Set StateChanged Started = running"},
      {"start A; mark; clear", "Set StateChanged Cleared = idleWithTask"},
      {"start A; clear; mark; clear", "= idleWithTask"},
      {"start A; mark; clearTask", "Set StateChanged Cleared = idle"},
      {"mark; clearTask", "Cleared = idle"},
      {"start A; clear; mark; setTask B", "= idleWithTask"},
      {"start A; mark; setTask B", "= running"},
      {"start A; advance 30; mark; endOutside 20", "StateChanged = paused"},
      {"start A; pause 30; mark; endOutside 20", "= paused"},
      {"start A; mark; moveEntry B", "= running"},
      {"start A; mark; deleteEntry", "Set StateChanged Cleared = idleWithTask"},
      {"start A; mark; delete A", "Set StateChanged Cleared StateChanged Cleared = idle"},
      {"start A; clear; mark; delete A", "StateChanged Cleared = idle"},
      {"start A; mark; delete B", "= running"},
      {"start A; advance 60; mark; archive A",
       "StateChanged Paused Set StateChanged Cleared = idle"},
      {"start A; mark; deleteAll", "Set StateChanged Cleared StateChanged Cleared = idle"},
      {"mark; deleteAll", "Cleared = idle"},
      {"start A; advance 600; relaunch; mark; wakeup", "Set StateChanged = running"},
      {"start A; pause 60; relaunch; mark; wakeup", "Set StateChanged = paused"},
      {"start A; clear; relaunch; mark; wakeup", "StateChanged = idleWithTask"},
      {"start A; clearTask; relaunch; mark; wakeup", "= idle"},
      {"start A; mark; wakeup", "= running"},
  };
  const std::string set = "WillSetCurrentSession DidSetCurrentSession";
  for (const auto& [script, expected] : cases) {
    SCOPED_TRACE(script);
    tearDownApplication();
    std::filesystem::remove_all(directory.path() / "store");
    std::filesystem::remove(directory.file("defaults.json"));
    time.set(at(9));
    runScript(std::string("relaunch; task A; task B;") + script);
    std::string events = takeEvents();
    for (std::size_t i; (i = events.find(set)) != std::string::npos;)
      events.replace(i, set.size(), "Set");
    const std::string state = timer->state().description();
    const std::string shown = state == "runningManually" ? "running" : state;
    EXPECT_EQ((events.empty() ? "" : events + " ") + "= " + shown, expected);
    const bool ticking = state.starts_with("running");
    time.advance(3);
    EXPECT_EQ(takeEvents(true), ticking ? "DurationChanged DurationChanged DurationChanged" : "");
    EXPECT_EQ(timer->isRunning(), ticking);
  }
}

// One entry per case: started at 09:00 on a fresh task, paused `after` seconds later.
TEST_F(TimerTest, RoundingAndMinimumLengthOnPause) {
  const std::string dropped = "WillDropSession WillSetCurrentSession DidSetCurrentSession StateChanged Paused";
  const struct {
    const char* name;
    bool rounding;
    Method method;
    double minimum, after;  // pause date minus begin
    std::string events;
    double stored;  // the stored duration; -1: the entry is dropped
  } cases[] = {
      {"nearest 449", true, Method::nearest, 0, 449, "WillRoundSession StateChanged Paused", 300},
      {"up 449", true, Method::up, 0, 449, "WillRoundSession StateChanged Paused", 600},
      {"down 449", true, Method::down, 0, 449, "WillRoundSession StateChanged Paused", 300},
      {"nearest 450 (half up)", true, Method::nearest, 0, 450, "WillRoundSession StateChanged Paused", 600},
      {"multiple of the step", true, Method::up, 0, 600, "StateChanged Paused", 600},
      {"rounding off", false, Method::up, 0, 449, "StateChanged Paused", 449},
      {"down below one step is kept", true, Method::down, 60, 200, "WillRoundSession StateChanged Paused", 0},
      {"exactly the minimum", false, Method::nearest, 60, 60, "StateChanged Paused", 60},
      {"just below the minimum", false, Method::nearest, 60, 59.9, dropped, -1},
      {"pause before begin, minimum 1", false, Method::nearest, 1, -30, dropped, -1},
      {"pause before begin, minimum 0", false, Method::nearest, 0, -30, "StateChanged Paused", 0},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto task = runToEnd(provider->createTask({{NodeChangeKey::name, "Task " + std::to_string(index++)}}));
    setPrefs(c.rounding, 300, c.method, c.minimum);
    auto session = runToEnd(timer->start(task, at(9), false));
    ASSERT_TRUE(session);
    const std::string identifier = *session->identifier();
    takeEvents();
    runToEnd(timer->pause(at(9) + c.after, false));
    EXPECT_EQ(takeEvents(), c.events);
    const Notification paused = last(Name::paused);
    EXPECT_EQ(get<bool>(paused, Name::byAutotrackingKey), false);
    EXPECT_FALSE(task->hasRunningSession());
    auto stored = provider->getSession(identifier);
    EXPECT_EQ(get<std::shared_ptr<Session>>(paused, Name::sessionKey), stored ? std::optional(stored) : std::nullopt);
    if (c.stored < 0) {
      EXPECT_EQ(std::tuple(stored, timer->state(), timer->currentTask()), std::tuple(nullptr, State::idleWithTask, task));
      continue;
    }
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::tuple(timer->state(), timer->currentSession(), stored->isRunning()),
              std::tuple(State::paused, stored, false));
    const Date unroundedEnd = at(9) + std::max(0.0, c.after);
    EXPECT_EQ(std::tuple(stored->end(), stored->originalEnd(), stored->confirmedDuration()),
              std::tuple(at(9) + c.stored, unroundedEnd, c.stored));
    const bool rounded = c.events.starts_with("WillRound");
    EXPECT_EQ(stored->roundingTo(), rounded ? 300 : 0);
    if (!rounded) continue;
    EXPECT_EQ(stored->roundingMethod(), c.method.rawValue());
    const Notification round = last(Name::willRoundSession);
    EXPECT_EQ(std::tuple(get<double>(round, Name::fromKey), get<double>(round, Name::toKey)),
              std::tuple(std::optional(ChronelleDateUtils::effectiveDuration(at(9), unroundedEnd)), std::optional(c.stored)));
  }

  // A paused entry is ended anew, with the rules applied again; the tick stays stopped.
  auto session = runToEnd(timer->start(taskNamed("Task 0"), at(9), false));
  setPrefs(false, 300, Method::up, 0);
  runToEnd(timer->pause(at(9, 10), false));
  EXPECT_EQ(time.scheduler().pendingCount(), 0u);
  setPrefs(true, 300, Method::up, 0);
  runToEnd(timer->pause(at(9, 12), false));
  EXPECT_EQ(std::tuple(session->end(), session->originalEnd()), std::tuple(at(9, 15), at(9, 12)));
}

// A rounded entry records its step in whole seconds in 16 bits: other steps are refused.
TEST_F(TimerTest, PreferencesRefuseAStepAnEntryCannotRecord) {
  CHTimerPreferences preferences({true, 900, Method::up, 0});
  for (double step : {0.0, 0.5, 32768.0, 36000.0, std::nan("")}) {
    EXPECT_THROW(preferences.setValues({true, step, Method::down, 5}), std::invalid_argument) << "step " << step;
    EXPECT_EQ(preferences.values().roundingMethodOption, Method::up) << "step " << step;
  }
  EXPECT_THROW(preferences.setValues({true, 60, Method::down, -1}), std::invalid_argument);
  for (double step : {1.0, 32767.0}) {
    preferences.setValues({true, step, Method::down, 5});
    EXPECT_EQ(preferences.roundingStep(), step);
  }
}

// The store changes behind its back: the pause's save finds no row to update, a start's insert
// is refused. Each failure is logged with the store's own error.
TEST_F(TimerTest, FailedWritesAreLoggedAndPauseStillPauses) {
  runScript("task A; start A");
  auto task = taskNamed("A");
  auto session = timer->currentSession();
  const auto alterStore = [&](const char* sql) { execSql(directory.path() / "store" / "Chronelle.sqlite", sql); };
  const auto lastError = [&] {
    const auto record = logs.records(LogLabel::timer).back();
    const auto error = record.metadata.find("error");
    return record.message + ": " + (error == record.metadata.end() ? "" : error->second.text());
  };
  alterStore("DELETE FROM ZSESSION");
  runScript("mark; pause 1800");
  EXPECT_EQ(takeEvents(), "StateChanged Paused");
  EXPECT_EQ(std::tuple(timer->state(), timer->currentSession(), task->hasRunningSession()),
            std::tuple(State::paused, session, false));
  EXPECT_NE(lastError().find("Error on pausing time entry: optimistic locking failure"), std::string::npos);

  alterStore("CREATE TRIGGER refuse BEFORE INSERT ON ZSESSION BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
  EXPECT_EQ(runToEnd(timer->start(task, at(10), false)), nullptr);
  EXPECT_TRUE(lastError().starts_with("Error on start timer: ") && lastError().ends_with("disk says no")) << lastError();
}

// Whether the entries' keys are remembered across a relaunch is the relaunch rows' test above.
TEST_F(TimerTest, StartAndPauseCarryTheirEntry) {
  runScript("task A; start A 0.75 auto");
  const auto session = timer->currentSession();
  const auto task = taskNamed("A");
  ASSERT_TRUE(session);
  const Notification started = last(Name::started);
  // The begin floored to whole seconds; the entry, its task and the notification marked.
  EXPECT_EQ(std::tuple(session->begin(), session->isStartedByLocalATMonitor(),
                       task->hasRunningSession(), get<bool>(started, "byAutotracking"),
                       get<std::shared_ptr<Session>>(started, "session")),
            std::tuple(at(9), true, true, std::optional(true), std::optional(session)));

  // Interrupted by a start with an earlier begin: ended at the moment of the call.
  runScript("task B; advance 125; start B -100; pause 5");
  EXPECT_EQ(std::tuple(session->end(), session->isRunning(), task->hasRunningSession()),
            std::tuple(std::optional(at(9, 2, 5)), false, false));
  EXPECT_EQ(timer->currentSession()->begin(), at(9, 0, 25));
  EXPECT_EQ(get<std::shared_ptr<Session>>(last(Name::paused), "session"), timer->currentSession());

  // Re-assigning the same entry still announces it.
  takeEvents();
  timer->assignCurrentSession(timer->currentSession());
  EXPECT_EQ(takeEvents(), "WillSetCurrentSession DidSetCurrentSession");
}

TEST_F(TimerTest, DefaultTaskNamesColourAndFailure) {
  Localizer::setTable({{"New task", "Neue Aufgabe"}});
  const auto rotation = ColorSetManager().initiationSorting();
  runScript("start -; clearTask; start -");
  ASSERT_EQ(provider->getAllTasks(true).size(), 2u);
  EXPECT_EQ(std::tuple(taskNamed("First task")->colorId(), taskNamed("First task")->parent()),
            std::tuple(ColorSet::rawValue(rotation.at(0)), nullptr));
  EXPECT_EQ(taskNamed("Neue Aufgabe")->colorId(), ColorSet::rawValue(rotation.at(1)));
  EXPECT_EQ(timer->currentTask(), taskNamed("Neue Aufgabe"));

  // A default task that cannot be saved (blank name): logged, nothing started, nothing posted.
  Localizer::setTable({{"New task", "   "}});
  runScript("clearTask; mark; start -");
  EXPECT_EQ(takeEvents(), "");
  EXPECT_EQ(timer->state(), State::idle);
  EXPECT_EQ(logs.records(LogLabel::timer).back().message, "Error on creating default task");
}

TEST_F(TimerTest, RunningTimeReachesEveryNodeAbove) {
  runScript("task A in Top; task B in Top");
  const auto task = taskNamed("A");
  const auto top = std::dynamic_pointer_cast<Folder>(task->parent());
  ASSERT_TRUE(top);
  runToEnd(provider->createTimeEntry(at(7), at(8), task->objectID(), false, std::nullopt));
  runScript("start A");
  int announced = 0;
  auto token = top->observe("effectiveDuration", [&](const ObservedChange&) { ++announced; });
  time.advance(90);
  EXPECT_EQ(announced, 90);
  EXPECT_EQ(std::tuple(task->effectiveDuration(), top->effectiveDuration(), taskNamed("B")->effectiveDuration()),
            std::tuple(3690.0, 3690.0, 0.0));

  // Booked elsewhere on B: the running mark moves with it.
  runScript("moveEntry B");
  EXPECT_EQ(timer->currentTask(), taskNamed("B"));
  EXPECT_EQ(std::tuple(task->hasRunningSession(), taskNamed("B")->hasRunningSession(), top->hasRunningSession()),
            std::tuple(false, true, true));

  // Relaunched: the same entry, still counting from its begin.
  const std::string identifier = *timer->currentSession()->identifier();
  runScript("relaunch; wakeup; advance 10");
  EXPECT_EQ(timer->currentSession()->identifier(), identifier);
  EXPECT_EQ(std::pair(timer->currentSession()->effectiveDuration(), taskNamed("B")->parent()->effectiveDuration()),
            std::pair(100.0, 3700.0));
}

}  // namespace
}  // namespace chronelle::testing
