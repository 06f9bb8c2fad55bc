#pragma once

#include <asio/awaitable.hpp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/model/CurrentTimeEntrySource.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ManagedObject.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/timer/CHTimerNotificationName.h"
#include "chronelle/timer/CHTimerPreferencesProtocol.h"
#include "chronelle/timer/CHTimerState.h"

namespace chronelle {

class ColorSetManager;
class MainDataProvider;
class ScheduledTimer;
class Session;
class Task;

// The running timer: the one time entry the user is timing now (or has just paused) and the
// task the next start uses. It starts entries, pauses them (rounding them, or deleting them
// when too short, by the preferences), clears itself, restores itself after a relaunch from
// the user defaults ("TPCurrentSession", "TPCurrentTask") and follows the store when its entry
// or task is deleted or archived elsewhere. While an entry runs it ticks once a second so
// that the entry, its task and every folder above announce a new effective duration. Every
// change is announced through the notifications of `NotificationName`.
//
// Set-up (main thread): create one with std::make_shared, set `dataProvider` and `prefs`,
// register it in the container as CHTimer (node durations then include the running time:
// creating a timer tells the model to resolve CHTimer), then call `wakeup()`. Asynchronous operations are coroutines
// to run on MainQueue::shared(); the timer must outlive them. Everything else is main-thread only;
// not thread-safe.
class CHTimer final : public CurrentTimeEntrySource, public std::enable_shared_from_this<CHTimer> {
 public:
  using State = CHTimerState;
  using NotificationName = CHTimerNotificationName;

  // The user-defaults keys of the persisted entry and task.
  static constexpr const char* kCurrentSessionKey = "TPCurrentSession";
  static constexpr const char* kCurrentTaskKey = "TPCurrentTask";

  // State `idle`, nothing current. Starts observing "mainContextDidChange" and
  // "Data.willDeleteAllNodes" from any sender until destruction.
  CHTimer();
  // Stops the tick and the observations. Work the store handlers queued and that has not run
  // yet is skipped.
  ~CHTimer() override;
  CHTimer(const CHTimer&) = delete;
  CHTimer& operator=(const CHTimer&) = delete;

  // --- Properties ---------------------------------------------------------------------------
  // The task shown and used by a start without a task; null when none.
  const std::shared_ptr<Task>& currentTask() const { return currentTask_; }
  // The property's setter: assigns and persists it under "TPCurrentTask" (null removes the
  // key). Observers of "currentTask" are told. Not the `setCurrentTask` operation.
  void assignCurrentTask(std::shared_ptr<Task> task);
  // The current entry, running or paused; null when none.
  const std::shared_ptr<Session>& currentSession() const { return currentSession_; }
  // The property's setter: posts "WillSetCurrentSession", moves the observation of `end`,
  // `effectiveDuration` and `task` to the new entry, persists it under "TPCurrentSession" (null
  // removes the key), tells observers of "currentSession" and posts "DidSetCurrentSession" —
  // also when the same entry is assigned again.
  void assignCurrentSession(std::shared_ptr<Session> session);
  State state() const { return state_; }
  // Assigns the state and always posts "StateChanged" (the timer's own transitions post only
  // on a real change). Observers of "state" are told.
  void setState(State state);
  // True when there is a current entry and it carries the running mark.
  bool isRunning() const;
  // The current entry while `isRunning`, else null.
  std::shared_ptr<Session> runningSession() const;
  // The write side used for every start, pause and drop and for persistence; required before
  // `wakeup()` and before anything is made current. Shared with the application.
  const std::shared_ptr<MainDataProvider>& dataProvider() const { return dataProvider_; }
  void setDataProvider(std::shared_ptr<MainDataProvider> provider) {
    dataProvider_ = std::move(provider);
  }
  // Rounding and minimum length; required before the first pause of a running entry (without
  // any, nothing is rounded and nothing dropped). Shared with the application.
  const std::shared_ptr<CHTimerPreferencesProtocol>& prefs() const { return prefs_; }
  void setPrefs(std::shared_ptr<CHTimerPreferencesProtocol> prefs) { prefs_ = std::move(prefs); }

  // Calls `callback` after every assignment of "currentTask", "currentSession" or "state"
  // (other keys are never told). Keep the token to stay registered.
  [[nodiscard]] ObservationToken observe(std::string key, std::function<void()> callback);

  // The current entry (running or paused), for the nodes' running totals; null when none.
  // Only nodes with `hasRunningSession` add it, and the timer clears that mark on pause.
  std::shared_ptr<Session> currentTimeEntry() const override { return currentSession_; }

  // --- Operations (main thread) --------------------------------------------------------------
  // In state `idle` only: restores the persisted entry (paused, or running and ticking again
  // without "Started") or, without one, the persisted task (`idleWithTask`). An entry without
  // a task is forgotten.
  void wakeup();
  // Starts a new entry on `forTask` (else the current task, else a new default task) at
  // `begin`, pausing a running entry first at the current time (without "Paused"). Returns the
  // new entry, or null when `forTask` is archived (nothing happens), or when creating the
  // default task or the entry fails (logged; a running entry has been paused by then).
  // Does not throw.
  asio::awaitable<std::shared_ptr<Session>> start(std::shared_ptr<Task> forTask, Date begin,
                                                  bool byAutotracking);
  // Ends the current entry, running or paused, at `at` (its begin when earlier), rounding it or
  // dropping it by the preferences, then posts "Paused". Paused also when the write fails
  // (logged). Does not throw.
  asio::awaitable<void> pause(Date at, bool byAutotracking);
  // Pauses a running entry now; otherwise starts a new entry now on the current task. Does
  // not throw.
  asio::awaitable<void> toggle();
  // With a running or paused entry: stops the tick and lets go of the entry (not written: a
  // running entry stays without an end in the store), keeping the task; posts "Cleared" and
  // returns the entry. Otherwise null and nothing happens.
  std::shared_ptr<Session> clear();
  // Forgets the entry and the task (state `idle`), posts "Cleared" and returns the entry as it
  // was (null when none). The tick is not stopped; it finds nothing to do.
  std::shared_ptr<Session> clearCurrentTask();
  // With no current entry: makes `session` the current, paused entry. Otherwise nothing.
  void setCurrentSession(std::shared_ptr<Session> session);
  // With an entry that has a task and no end: makes it the current, running entry and starts
  // the tick, without "Started". Otherwise nothing.
  void continueRunning(std::shared_ptr<Session> session);
  // In state `idleWithTask` only: makes `task` the current task.
  void setCurrentTask(std::shared_ptr<Task> task);
  // Creates a top-level task named by the localised "First task" when there are no tasks yet,
  // else "New task", with the next palette colour, and returns it. Throws the write's error.
  asio::awaitable<std::shared_ptr<Task>> createDefaultTask();

  // --- Store notifications (called by the notification centre) ------------------------------
  // After a save that updated or deleted entries, tasks or folders: queues on the main queue
  // the reaction to a deleted current entry (`clear`), a deleted current task
  // (`clearCurrentTask`) or a current task now archived (pause now, then `clearCurrentTask`).
  void onContextDidChange(const Notification& notification);
  // Before every node is deleted: queues `clear()` then `clearCurrentTask()`.
  void onWillDeleteAllNodes(const Notification& notification);

 private:
  asio::awaitable<void> pauseCurrentSession(Date at);
  double roundedDuration(double duration) const;
  void setRunningState(std::shared_ptr<Session> session);
  void setPausedState(std::shared_ptr<Session> session);
  void setIdleWithTaskState(std::shared_ptr<Task> task);
  void setIdleState();
  void updateState(State state);
  void startTimer();
  void invalidateTimer();
  void tickTimer();
  void observeSession(const std::shared_ptr<Session>& session);
  void sessionEndChanged(const ObservedChange& change);
  void sessionTaskChanged(const std::shared_ptr<Session>& session, const ObservedChange& change);
  void onSessionEndWasSetOutside();
  void reactToStoreChange(const ObjectSet& deleted, const ObjectSet& updated);
  void notifyPropertyObservers(const std::string& key);
  ColorSetManager& colorSetManager();

  std::shared_ptr<Task> currentTask_;
  std::shared_ptr<Session> currentSession_;
  State state_ = State::idle;
  std::shared_ptr<MainDataProvider> dataProvider_;
  std::shared_ptr<CHTimerPreferencesProtocol> prefs_;
  std::shared_ptr<ColorSetManager> colorSetManager_;
  std::shared_ptr<ScheduledTimer> timer_;
  bool isPausingTimer_ = false;
  Logger log_;
  // Observers of the timer's own properties, by key.
  std::map<std::string, std::vector<std::pair<std::uint64_t, std::function<void()>>>>
      propertyObservers_;
  std::uint64_t nextObserverId_ = 1;
  // Expires with the timer: queued work and timer callbacks check it before touching `this`.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  // The current entry's observations; declared after it so they go first.
  std::vector<ObservationToken> sessionObservations_;
  ObserverToken contextDidChangeObserver_;
  ObserverToken willDeleteAllNodesObserver_;
};

}  // namespace chronelle
