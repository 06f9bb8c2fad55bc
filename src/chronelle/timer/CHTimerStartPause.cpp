// Starting, pausing (with rounding and dropping) and the default task.

#include <cmath>
#include <exception>
#include <stdexcept>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Logging.h"
#include "chronelle/timer/CHTimer.h"

#include "chronelle/store/UndoManager.h"

namespace chronelle {

namespace {

void post(const char* name, UserInfo userInfo = {}) {
  NotificationCenter::defaultCenter().post(name, nullptr, std::move(userInfo));
}

// Keeps the timer's own writes to its entry from being taken for outside edits, also across
// the suspension of the pause and on every way out of it.
class PausingFlag {
 public:
  explicit PausingFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~PausingFlag() { flag_ = false; }
  PausingFlag(const PausingFlag&) = delete;
  PausingFlag& operator=(const PausingFlag&) = delete;

 private:
  bool& flag_;
};

// Undo registration off for the pause's write, so pausing is not an undo step; switched on
// again on the same manager in every outcome.
class UndoRegistrationOff {
 public:
  explicit UndoRegistrationOff(ObjectContext* context) {
    manager_ = context ? context->undoManager() : nullptr;
    if (manager_) manager_->disableUndoRegistration();
  }
  ~UndoRegistrationOff() {
    if (manager_) manager_->enableUndoRegistration();
  }
  UndoRegistrationOff(const UndoRegistrationOff&) = delete;
  UndoRegistrationOff& operator=(const UndoRegistrationOff&) = delete;

 private:
  UndoManager* manager_ = nullptr;
};

}  // namespace

asio::awaitable<std::shared_ptr<Session>> CHTimer::start(std::shared_ptr<Task> forTask, Date begin,
                                                         bool byAutotracking) {
  if (forTask && forTask->archived()) co_return nullptr;
  auto provider = dataProvider_;
  if (!provider) {
    logError(log_, "Error on start timer", std::logic_error("the timer has no data provider"));
    co_return nullptr;
  }
  // Only a running entry is ended here; a paused one keeps its end.
  if (isRunning()) co_await pauseCurrentSession(Clock::now());

  std::shared_ptr<Task> task = forTask ? forTask : currentTask_;
  if (!task) {
    std::exception_ptr failure;
    try {
      task = co_await createDefaultTask();
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure || !task) {
      // Nothing to time on: the timer stays as the pause above left it.
      logError(log_, "Error on creating default task", failure);
      co_return nullptr;
    }
  }

  logInfo(log_, "Starting timer",
          {{"task", task->identifier().value_or("<no id>")}, {"byAutotracking", byAutotracking}});

  std::shared_ptr<Session> session;
  std::exception_ptr failure;
  try {
    session = co_await provider->createTimeEntry(begin, std::nullopt, task->objectID(),
                                                 byAutotracking, std::nullopt);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure || !session) {
    if (!failure)
      failure = std::make_exception_ptr(std::runtime_error("the new time entry was not found"));
    logError(log_, "Error on start timer", failure);
    co_return nullptr;
  }

  session->setIsStartedByLocalATMonitor(byAutotracking);
  setRunningState(session);
  startTimer();
  post(NotificationName::started, {{NotificationName::byAutotrackingKey, byAutotracking},
                                   {NotificationName::sessionKey, session}});
  co_return session;
}

asio::awaitable<void> CHTimer::pause(Date at, bool byAutotracking) {
  logInfo(log_, "Pausing timer", {{"byAutotracking", byAutotracking}});
  co_await pauseCurrentSession(at);
  UserInfo info{{NotificationName::byAutotrackingKey, byAutotracking}};
  if (currentSession_) info.emplace(NotificationName::sessionKey, currentSession_);
  post(NotificationName::paused, std::move(info));
}

asio::awaitable<void> CHTimer::toggle() {
  if (isRunning()) {
    co_await pause(Clock::now(), false);
  } else {
    co_await start(nullptr, Clock::now(), false);
  }
}

asio::awaitable<void> CHTimer::pauseCurrentSession(Date at) {
  PausingFlag pausing(isPausingTimer_);
  invalidateTimer();
  // Running or already paused alike: a paused entry is ended anew at `at`.
  auto session = currentSession_;
  if (!session || !session->task()) co_return;
  auto provider = dataProvider_;

  const Date begin = session->begin().value_or(at);
  const Date end = at < begin ? begin : at;
  const double duration = ChronelleDateUtils::effectiveDuration(begin, end);
  const double minimum = prefs_ ? prefs_->minimumTimeEntryDuration() : 0;

  if (duration < minimum) {
    post(NotificationName::willDropSession, {{NotificationName::sessionKey, session}});
    setIdleWithTaskState(session->task());
    std::exception_ptr failure;
    try {
      std::vector<std::shared_ptr<Session>> dropped(1, session);
      co_await provider->deleteTimeEntries(std::move(dropped));
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) logError(log_, "Error on dropping time entry", failure);
    co_return;
  }

  const double rounded = roundedDuration(duration);
  TimeEntryChanges changes;
  changes[TimeEntryChangeKey::end] = rounded != duration ? begin + rounded : end;
  changes[TimeEntryChangeKey::originalEnd] = end;
  if (rounded != duration) {
    post(NotificationName::willRoundSession, {{NotificationName::sessionKey, session},
                                              {NotificationName::fromKey, duration},
                                              {NotificationName::toKey, rounded}});
    // Stored as whole numbers: the step in whole seconds, the method as its raw value.
    changes[TimeEntryChangeKey::roundingTo] =
        static_cast<std::int16_t>(std::llround(prefs_->roundingStep()));
    changes[TimeEntryChangeKey::roundingMethod] =
        static_cast<std::int16_t>(prefs_->roundingMethodOption().rawValue());
  }

  std::exception_ptr failure;
  {
    UndoRegistrationOff undoOff(provider->context().get());
    try {
      co_await provider->updateTimeEntry(session->objectID(), std::move(changes));
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (failure) logError(log_, "Error on pausing time entry", failure);
  // Paused whatever the write did: the entry then keeps its stored end.
  setPausedState(session);
}

double CHTimer::roundedDuration(double duration) const {
  if (!prefs_ || !prefs_->isRoundingEnabled()) return duration;
  const double step = prefs_->roundingStep();
  if (!(step > 0)) return duration;
  switch (prefs_->roundingMethodOption()) {
    case RoundingMethodOption::up:
      return step * std::ceil(duration / step);
    case RoundingMethodOption::down:
      return step * std::floor(duration / step);
    case RoundingMethodOption::nearest:
      break;
  }
  return step * std::round(duration / step);  // halves away from zero
}

asio::awaitable<std::shared_ptr<Task>> CHTimer::createDefaultTask() {
  logInfo(log_, "Creating new default task");
  auto provider = dataProvider_;
  if (!provider) throw std::logic_error("the timer has no data provider");
  const std::string name =
      Localizer::localizedString(provider->getTotalTasksCount() == 0 ? "First task" : "New task");
  NodeChanges data;
  data[NodeChangeKey::name] = name;
  data[NodeChangeKey::colorId] = ColorSet::rawValue(colorSetManager().nextColorSet().id());
  auto task = co_await provider->createTask(std::move(data));
  if (!task) throw std::runtime_error("the new default task was not found");
  co_return task;
}

}  // namespace chronelle
