#include "chronelle/timer/SystemTimeUpdateNotificator.h"

#include <charconv>
#include <cmath>
#include <string>

#include "chronelle/platform/Calendar.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/TimerScheduler.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

namespace {

// The shortest text that reads back as `value`, with ".0" on whole numbers ("17.6", "60.0").
std::string describeDouble(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

struct HourMinute {
  int hour = 0;
  int minute = 0;
};

HourMinute hourAndMinute(Date date) {
  const DateComponents components = Calendar::current().components(date);
  return {components.hour.value_or(0), components.minute.value_or(0)};
}

}  // namespace

SystemTimeUpdateNotificator::SystemTimeUpdateNotificator() : log_(LogLabel::timeUpdate) {}

SystemTimeUpdateNotificator::~SystemTimeUpdateNotificator() { stop(); }

void SystemTimeUpdateNotificator::start() {
  logDebug(log_, "Start updating time");
  auto& center = NotificationCenter::defaultCenter();
  auto handler = [this](const Notification&) { systemTimeDidChange(); };
  std::weak_ptr<int> alive = alive_;
  auto jumpWatch = TimerScheduler::current().observeWallClockJumps([this, alive] {
    if (!alive.expired()) systemTimeDidChange();
  });
  {
    std::lock_guard lock(mutex_);
    if (jumpWatch_) jumpWatch_->cancel();
    jumpWatch_ = std::move(jumpWatch);
    dayObserver_ = center.addObserver(kCalendarDayChangedNotification, nullptr, handler);
    zoneObserver_ = center.addObserver(kSystemTimeZoneDidChangeNotification, nullptr, handler);
    clockObserver_ = center.addObserver(kSystemClockDidChangeNotification, nullptr, handler);
  }
  syncTimer();
}

void SystemTimeUpdateNotificator::stop() {
  logDebug(log_, "Stop updating time");
  ObserverToken day, zone, clock;
  {
    std::lock_guard lock(mutex_);
    day = std::move(dayObserver_);
    zone = std::move(zoneObserver_);
    clock = std::move(clockObserver_);
    if (syncingTimer_) syncingTimer_->cancel();
    if (timer_) timer_->cancel();
    if (jumpWatch_) jumpWatch_->cancel();
    syncingTimer_.reset();
    timer_.reset();
    jumpWatch_.reset();
  }
  // The tokens are released outside the lock: releasing waits for a handler that is running
  // on another thread, and that handler takes the lock.
}

void SystemTimeUpdateNotificator::systemTimeDidChange() {
  update();
  syncTimer();
}

int SystemTimeUpdateNotificator::lastHour() const {
  std::lock_guard lock(mutex_);
  return lastHour_;
}

int SystemTimeUpdateNotificator::lastMinute() const {
  std::lock_guard lock(mutex_);
  return lastMinute_;
}

void SystemTimeUpdateNotificator::syncTimer() {
  const Date now = Clock::now();
  const HourMinute current = hourAndMinute(now);
  // One tenth of a second past the next whole minute of absolute time.
  double second = std::fmod(now.timeIntervalSince1970(), 60.0);
  if (second < 0) second += 60.0;
  const double delay = 60.0 - second + 0.1;
  logDebug(log_, [&] { return "Next update in " + describeDouble(delay) + " sec"; });

  std::weak_ptr<int> alive = alive_;
  std::lock_guard lock(mutex_);
  if (syncingTimer_) syncingTimer_->cancel();
  if (timer_) timer_->cancel();
  timer_.reset();
  lastHour_ = current.hour;
  lastMinute_ = current.minute;
  syncingTimer_ = TimerScheduler::current().scheduleOnce(delay, [this, alive] {
    if (!alive.expired()) onSyncingTimerFired();
  });
}

void SystemTimeUpdateNotificator::onSyncingTimerFired() {
  std::weak_ptr<int> alive = alive_;
  auto queueUpdate = [this, alive] {
    MainQueue::shared().post([this, alive] {
      if (!alive.expired()) update();
    });
  };
  std::lock_guard lock(mutex_);
  if (syncingTimer_) syncingTimer_->cancel();
  syncingTimer_.reset();
  queueUpdate();
  timer_ = TimerScheduler::current().scheduleRepeating(60.0, [alive, queueUpdate] {
    if (!alive.expired()) queueUpdate();
  });
}

void SystemTimeUpdateNotificator::update() {
  const HourMinute current = hourAndMinute(Clock::now());
  bool hourChanged = false;
  bool minuteChanged = false;
  {
    std::lock_guard lock(mutex_);
    hourChanged = current.hour != lastHour_;
    minuteChanged = current.minute != lastMinute_;
    lastHour_ = current.hour;
    lastMinute_ = current.minute;
  }
  // Posted outside the lock: observers may call back into the notificator.
  auto& center = NotificationCenter::defaultCenter();
  if (hourChanged) {
    logDebug(log_, "hour changed");
    center.post(CHHourChanged);
  }
  if (minuteChanged) {
    logDebug(log_, "minute changed");
    center.post(CHMinuteChanged);
  }
}

}  // namespace chronelle
