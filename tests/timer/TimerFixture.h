#pragma once

#include <asio/awaitable.hpp>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/timer/CHTimer.h"
#include "chronelle/timer/CHTimerPreferences.h"
#include "testsupport/RunOnMain.h"
#include "teststack/StackFixture.h"

namespace chronelle::testing {

// The application's start-up on the stack (UTC, clock at 2026-03-10 09:00): provider, palette
// and timer registered in the container, and a record of the timer's notifications.
// `tearDownApplication` and `startApplication` destroy and rebuild all of it on the same
// files (a relaunch).
class TimerFixture : public StackFixture {
 protected:
  TimerFixture();
  ~TimerFixture() override;

  void startApplication();
  void tearDownApplication();

  // Runs `op` on the main queue until it returns, then everything it left queued.
  template <class T>
  T run(asio::awaitable<T> op) {
    return runToEnd(std::move(op));
  }
  void drain() { MainQueue::shared().runPending(); }

  // A saved task (under `parent` when given), through the write side.
  std::shared_ptr<Task> makeTask(const std::string& name,
                                 const std::shared_ptr<Folder>& parent = nullptr);
  std::shared_ptr<Folder> makeFolder(const std::string& name,
                                     const std::shared_ptr<Folder>& parent = nullptr);
  void setPrefs(bool rounding, double step, RoundingMethodOption method, double minimum);
  // The task named `name` in the current store (created first by `task` in a script).
  std::shared_ptr<Task> taskNamed(const std::string& name);

  // Runs a script of `;`-separated steps, each driven to its end:
  //   task T [in F]        a task (and folder F when new)    start T|- [OFFSET] [auto]
  //   pause OFFSET         pause at now + OFFSET             advance SECONDS
  //   prefs off|nearest|up|down STEP MINIMUM                 toggle | clear | clearTask
  //   wakeup | relaunch    setTask T                         archive T | delete T
  //   deleteEntry | deleteAll   endOutside SECONDS (the entry's end set elsewhere, begin + s)
  //   moveEntry T          the current entry booked on T elsewhere
  //   mark                 forgets the notifications so far
  void runScript(const std::string& script);

  // The names of the timer's notifications since the last call, space-separated;
  // "DurationChanged" is counted apart (see `durationChanges`) unless `withDuration`.
  std::string takeEvents(bool withDuration = false);
  // The last notification posted with `name` (empty name when none).
  Notification last(const std::string& name) const;
  int durationChanges() const { return durationChanges_; }

  std::shared_ptr<MainDataProvider> provider;
  std::shared_ptr<CHTimerPreferences> prefs;
  std::shared_ptr<CHTimer> timer;

 private:
  // Everything above the stack: provider, palette, preferences and timer.
  void startServices();

  std::vector<Notification> events_;
  std::map<std::string, Notification> lastByName_;
  int durationChanges_ = 0;
  std::vector<ObserverToken> recorders_;
};

// 2026-03-10 in UTC at the given wall time, plus `seconds`.
Date at(int hour, int minute = 0, double seconds = 0);

}  // namespace chronelle::testing
