#pragma once

#include <memory>
#include <mutex>

#include "chronelle/platform/Logger.h"
#include "chronelle/platform/NotificationCenter.h"

namespace chronelle {

class ScheduledTimer;

// Tells the application when the wall-clock minute and hour change (in the process calendar's
// time zone), so that displays depending on the time of day can refresh: "CHHourChanged" and
// "CHMinuteChanged" on NotificationCenter::defaultCenter(), no object, no user info, hour
// first when both change.
//
// It aligns itself to one tenth of a second after the next whole minute, then checks every 60
// seconds, and checks and re-aligns at once when the application delivers one of the three
// system events below (post them on the default centre; any thread). It also hears wall-clock
// jumps itself, through the timer scheduler (a clock set by hand or by time synchronisation, a
// resume from sleep), since its timers keep their remaining time across a jump.
//
// Checks queued by its timers run on MainQueue::shared(); `start`, `stop` and the system
// events may come from any thread (the check's fields are guarded). Destruction stops it.
class SystemTimeUpdateNotificator {
 public:
  static constexpr const char* CHHourChanged = "CHHourChanged";
  static constexpr const char* CHMinuteChanged = "CHMinuteChanged";

  // The system events the application forwards (calendar day changed, time zone changed,
  // system clock changed).
  static constexpr const char* kCalendarDayChangedNotification = "NSCalendarDayChangedNotification";
  static constexpr const char* kSystemTimeZoneDidChangeNotification =
      "NSSystemTimeZoneDidChangeNotification";
  static constexpr const char* kSystemClockDidChangeNotification =
      "NSSystemClockDidChangeNotification";

  // Stopped; hour and minute 0; nothing scheduled.
  SystemTimeUpdateNotificator();
  ~SystemTimeUpdateNotificator();
  SystemTimeUpdateNotificator(const SystemTimeUpdateNotificator&) = delete;
  SystemTimeUpdateNotificator& operator=(const SystemTimeUpdateNotificator&) = delete;

  // Observes the three system events and aligns to the next minute. Calling it again while
  // running starts the alignment afresh.
  void start();
  // Stops both timers and the observations; `start` may be called again.
  void stop();
  // A system event: checks now, then aligns again.
  void systemTimeDidChange();

  // The hour (0–23) and minute (0–59) seen at the last check or alignment.
  int lastHour() const;
  int lastMinute() const;

 private:
  void syncTimer();
  void update();
  void onSyncingTimerFired();

  Logger log_;
  mutable std::mutex mutex_;  // guards every field below
  int lastHour_ = 0;
  int lastMinute_ = 0;
  std::shared_ptr<ScheduledTimer> syncingTimer_;
  std::shared_ptr<ScheduledTimer> timer_;
  std::shared_ptr<ScheduledTimer> jumpWatch_;
  // Expires with the object: timer callbacks and queued checks test it first.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  ObserverToken dayObserver_;
  ObserverToken zoneObserver_;
  ObserverToken clockObserver_;
};

}  // namespace chronelle
