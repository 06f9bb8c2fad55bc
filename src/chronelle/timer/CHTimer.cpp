#include "chronelle/timer/CHTimer.h"

#include <algorithm>

#include "chronelle/data/DataNotifications.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/TimerScheduler.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/Injector.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

namespace {

constexpr const char* kCurrentTaskProperty = "currentTask";
constexpr const char* kCurrentSessionProperty = "currentSession";
constexpr const char* kStateProperty = "state";

void post(const char* name, UserInfo userInfo = {}) {
  NotificationCenter::defaultCenter().post(name, nullptr, std::move(userInfo));
}

}  // namespace

CHTimer::CHTimer() : log_(LogLabel::timer) {
  // Nodes add the running entry to their durations through the timer the application
  // registered (as CHTimer); the model cannot name this type, so it is told here.
  CurrentTimeEntrySource::setServiceLookup(
      [] { return std::shared_ptr<CurrentTimeEntrySource>(Injector::sharedSyncedContainer().resolve<CHTimer>()); });
  auto& center = NotificationCenter::defaultCenter();
  contextDidChangeObserver_ =
      center.addObserver(DataNotifications::mainContextDidChange, nullptr,
                         [this](const Notification& n) { onContextDidChange(n); });
  willDeleteAllNodesObserver_ =
      center.addObserver(DataNotifications::willDeleteAllNodes, nullptr,
                         [this](const Notification& n) { onWillDeleteAllNodes(n); });
}

CHTimer::~CHTimer() {
  contextDidChangeObserver_.reset();
  willDeleteAllNodesObserver_.reset();
  if (timer_) timer_->cancel();
}

// --- Properties ---------------------------------------------------------------------------

void CHTimer::assignCurrentTask(std::shared_ptr<Task> task) {
  currentTask_ = std::move(task);
  if (dataProvider_) {
    if (currentTask_) {
      dataProvider_->setManagedObjectInUserDefaults(currentTask_, kCurrentTaskKey);
    } else {
      dataProvider_->removeManagedObjectFromUserDefaults(kCurrentTaskKey);
    }
  }
  notifyPropertyObservers(kCurrentTaskProperty);
}

void CHTimer::assignCurrentSession(std::shared_ptr<Session> session) {
  post(NotificationName::willSetCurrentSession);
  sessionObservations_.clear();
  currentSession_ = std::move(session);
  if (currentSession_) {
    observeSession(currentSession_);
    if (dataProvider_)
      dataProvider_->setManagedObjectInUserDefaults(currentSession_, kCurrentSessionKey);
  } else if (dataProvider_) {
    dataProvider_->removeManagedObjectFromUserDefaults(kCurrentSessionKey);
  }
  notifyPropertyObservers(kCurrentSessionProperty);
  post(NotificationName::didSetCurrentSession);
}

void CHTimer::setState(State state) {
  state_ = state;
  notifyPropertyObservers(kStateProperty);
  post(NotificationName::stateChanged);
}

bool CHTimer::isRunning() const { return currentSession_ && currentSession_->isRunning(); }

std::shared_ptr<Session> CHTimer::runningSession() const {
  return isRunning() ? currentSession_ : nullptr;
}

ObservationToken CHTimer::observe(std::string key, std::function<void()> callback) {
  const std::uint64_t id = nextObserverId_++;
  propertyObservers_[key].emplace_back(id, std::move(callback));
  std::weak_ptr<int> alive = alive_;
  return ObservationToken([this, alive, key, id] {
    if (alive.expired()) return;
    auto it = propertyObservers_.find(key);
    if (it == propertyObservers_.end()) return;
    std::erase_if(it->second, [id](const auto& entry) { return entry.first == id; });
  });
}

void CHTimer::notifyPropertyObservers(const std::string& key) {
  auto it = propertyObservers_.find(key);
  if (it == propertyObservers_.end()) return;
  // A copy: a callback may add or remove observers.
  const auto observers = it->second;
  for (const auto& entry : observers) entry.second();
}

ColorSetManager& CHTimer::colorSetManager() {
  if (!colorSetManager_)
    colorSetManager_ = Injector::sharedSyncedContainer().resolve<ColorSetManager>();
  return *colorSetManager_;
}

// --- Transitions --------------------------------------------------------------------------

void CHTimer::updateState(State state) {
  if (state_ != state) setState(state);
}

void CHTimer::setRunningState(std::shared_ptr<Session> session) {
  if (currentSession_) currentSession_->setIsRunning(false);
  if (currentTask_) currentTask_->setHasRunningTimeEntry(false);
  session->setIsRunning(true);
  assignCurrentSession(session);
  assignCurrentTask(session->task());
  if (currentTask_) currentTask_->setHasRunningTimeEntry(true);
  updateState(session->isStartedByLocalATMonitor() ? State::runningAutotracked
                                                   : State::runningManually);
}

void CHTimer::setPausedState(std::shared_ptr<Session> session) {
  if (currentSession_) currentSession_->setIsRunning(false);
  if (currentTask_) currentTask_->setHasRunningTimeEntry(false);
  if (!currentSession_ || !isSameObject(currentSession_.get(), session.get())) {
    session->setIsRunning(false);
    assignCurrentSession(session);
    assignCurrentTask(session->task());
    if (currentTask_) currentTask_->setHasRunningTimeEntry(false);
  }
  updateState(State::paused);
}

void CHTimer::setIdleWithTaskState(std::shared_ptr<Task> task) {
  if (currentSession_) assignCurrentSession(nullptr);
  if (!currentTask_ || !isSameObject(currentTask_.get(), task.get())) assignCurrentTask(task);
  if (task && task->hasRunningSession()) task->setHasRunningTimeEntry(false);
  updateState(State::idleWithTask);
}

void CHTimer::setIdleState() {
  if (currentTask_) {
    currentTask_->setHasRunningTimeEntry(false);
    assignCurrentTask(nullptr);
  }
  if (currentSession_) assignCurrentSession(nullptr);
  updateState(State::idle);
}

// --- The tick -----------------------------------------------------------------------------

void CHTimer::startTimer() {
  invalidateTimer();
  std::weak_ptr<int> alive = alive_;
  timer_ = TimerScheduler::current().scheduleRepeating(1.0, [this, alive] {
    if (!alive.expired()) tickTimer();
  });
}

void CHTimer::invalidateTimer() {
  if (timer_) timer_->cancel();
  timer_.reset();
}

void CHTimer::tickTimer() {
  // Only announces: the entry, its task and the folders above re-read their durations from
  // the clock. No store work happens here.
  if (currentSession_) currentSession_->updateEffectiveDuration();
}

// --- Operations without store writes --------------------------------------------------------

void CHTimer::wakeup() {
  if (state_ != State::idle || !dataProvider_) return;
  auto session = std::dynamic_pointer_cast<Session>(
      dataProvider_->managedObjectFromUserDefaults(kCurrentSessionKey));
  auto task = std::dynamic_pointer_cast<Task>(
      dataProvider_->managedObjectFromUserDefaults(kCurrentTaskKey));
  logDebug(log_, "Waking up",
           {{"session", session ? session->description() : std::string("nil")},
            {"task", task ? task->nameOrId() : std::string("nil")}});
  if (session && session->task()) {
    if (session->end()) {
      setPausedState(session);
    } else {
      continueRunning(session);
    }
    return;
  }
  if (session) dataProvider_->removeManagedObjectFromUserDefaults(kCurrentSessionKey);
  if (task) setIdleWithTaskState(task);
}

std::shared_ptr<Session> CHTimer::clear() {
  if (!(isRunning() || state_ == State::paused)) return nullptr;
  auto taken = currentSession_;
  invalidateTimer();
  if (currentTask_) {
    setIdleWithTaskState(currentTask_);
  } else {
    setIdleState();
  }
  post(NotificationName::cleared);
  return taken;
}

std::shared_ptr<Session> CHTimer::clearCurrentTask() {
  auto taken = currentSession_;
  setIdleState();
  post(NotificationName::cleared);
  return taken;
}

void CHTimer::setCurrentSession(std::shared_ptr<Session> session) {
  if (!currentSession_ && session) setPausedState(session);
}

void CHTimer::continueRunning(std::shared_ptr<Session> session) {
  if (!session || session->end() || !session->task()) return;
  setRunningState(session);
  startTimer();
}

void CHTimer::setCurrentTask(std::shared_ptr<Task> task) {
  if (state_ == State::idleWithTask) assignCurrentTask(std::move(task));
}

}  // namespace chronelle
