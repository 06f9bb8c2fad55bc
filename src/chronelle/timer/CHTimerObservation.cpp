// Following the current entry and the store.

#include <algorithm>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "chronelle/data/DataNotifications.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ContextChangesNotification.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/support/Logging.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle {

namespace {

bool containsObject(const ObjectSet& objects, const ManagedObject& object) {
  const ObjectID id = object.objectID();
  return std::any_of(objects.begin(), objects.end(),
                     [&](const auto& o) { return o && o->objectID() == id; });
}

}  // namespace

void CHTimer::observeSession(const std::shared_ptr<Session>& session) {
  std::weak_ptr<Session> weak = session;
  sessionObservations_.push_back(
      session->observe("end", [this](const ObservedChange& c) { sessionEndChanged(c); }));
  sessionObservations_.push_back(session->observe("effectiveDuration", [](const ObservedChange&) {
    NotificationCenter::defaultCenter().post(NotificationName::durationChanged);
  }));
  sessionObservations_.push_back(session->observe("task", [this, weak](const ObservedChange& c) {
    if (auto observed = weak.lock()) sessionTaskChanged(observed, c);
  }));
}

void CHTimer::sessionEndChanged(const ObservedChange& change) {
  // The timer's own pause writes the end; only an edit made elsewhere pauses the timer.
  if (isPausingTimer_) return;
  if (change.oldValue.isNull()) onSessionEndWasSetOutside();
}

void CHTimer::onSessionEndWasSetOutside() {
  if (!currentSession_ || !currentSession_->isRunning() || !currentSession_->end()) return;
  invalidateTimer();
  auto session = currentSession_;
  setPausedState(session);
}

void CHTimer::sessionTaskChanged(const std::shared_ptr<Session>& session,
                                 const ObservedChange& change) {
  if (session != currentSession_) return;
  if (const ObjectID* oldId = change.oldValue.getIf<ObjectID>()) {
    ObjectContext* context = session->managedObjectContext();
    std::shared_ptr<ManagedObject> old = context ? context->registeredObject(*oldId) : nullptr;
    if (auto oldTask = std::dynamic_pointer_cast<Task>(old)) oldTask->setHasRunningTimeEntry(false);
  }
  auto task = session->task();
  if (!task) return;
  assignCurrentTask(task);
  if (!session->end()) task->setHasRunningTimeEntry(true);
}

void CHTimer::onContextDidChange(const Notification& notification) {
  // Filter by the summary first: most saves concern nothing the timer holds.
  const auto changes = contextChanges(notification);
  if (!changes || !(changes->haveUpdates() || changes->haveDeletes())) return;
  if (!changes->haveTrackedDataChanges()) return;
  // A merge carries no object sets: nothing to match, nothing to do.
  const auto* deletedSet = notification.value<ObjectSet>(DataNotifications::deletedObjectsKey);
  const auto* updatedSet = notification.value<ObjectSet>(DataNotifications::updatedObjectsKey);
  ObjectSet deleted = deletedSet ? *deletedSet : ObjectSet();
  ObjectSet updated = updatedSet ? *updatedSet : ObjectSet();
  std::weak_ptr<int> alive = alive_;
  MainQueue::shared().post(
      [this, alive, deleted = std::move(deleted), updated = std::move(updated)] {
        if (!alive.expired()) reactToStoreChange(deleted, updated);
      });
}

void CHTimer::reactToStoreChange(const ObjectSet& deleted, const ObjectSet& updated) {
  if (currentSession_ && containsObject(deleted, *currentSession_)) clear();
  if (!currentTask_) return;
  if (containsObject(deleted, *currentTask_)) {
    clearCurrentTask();
    return;
  }
  if (containsObject(updated, *currentTask_) && currentTask_->archived()) {
    // Hold the timer for the whole pause when the application shares it (as it should).
    auto self = weak_from_this().lock();
    std::weak_ptr<int> alive = alive_;
    asio::co_spawn(
        MainQueue::shared().executor(),
        [this, self, alive]() -> asio::awaitable<void> {
          if (alive.expired()) co_return;
          co_await pause(Clock::now(), false);
          if (!alive.expired()) clearCurrentTask();
        },
        asio::detached);
  }
}

void CHTimer::onWillDeleteAllNodes(const Notification&) {
  std::weak_ptr<int> alive = alive_;
  MainQueue::shared().post([this, alive] {
    if (alive.expired()) return;
    clear();
    clearCurrentTask();
  });
}

}  // namespace chronelle
