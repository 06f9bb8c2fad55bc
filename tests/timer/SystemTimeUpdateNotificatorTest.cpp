// Minute and hour notifications: aligned to the next whole minute plus 0.1 s, then every minute;
// a clock set by hand, a resume from sleep, a new day or a new zone makes it check at once.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "chronelle/platform/MainQueue.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/support/Logging.h"
#include "chronelle/timer/SystemTimeUpdateNotificator.h"
#include "teststack/StackFixture.h"

namespace chronelle::testing {
namespace {

using Notificator = SystemTimeUpdateNotificator;

class SystemTimeUpdateNotificatorTest : public ::testing::Test {
 protected:
  SystemTimeUpdateNotificatorTest() {
    for (const char* name : {Notificator::CHHourChanged, Notificator::CHMinuteChanged})
      tokens.push_back(NotificationCenter::defaultCenter().addObserver(
          name, nullptr, [this](const Notification& n) { posted += (posted.empty() ? "" : " ") + n.name; }));
  }
  ~SystemTimeUpdateNotificatorTest() override { MainQueue::shared().runPending(); }
  // Moves virtual time (firing due timers), then runs the checks they queued.
  std::string advance(double seconds) {
    time.advance(seconds);
    MainQueue::shared().runPending();
    return take();
  }
  // What was posted since the last call, and the seconds until the next check and the number
  // of checks pending ("-" when none).
  std::string take() {
    std::ostringstream next;
    next << std::exchange(posted, std::string()) << " | next ";
    if (time.scheduler().pendingCount() == 0) return next.str() + "-";
    next << std::round(time.scheduler().secondsUntilNextFire() * 1e6) / 1e6 << " x" << time.scheduler().pendingCount();
    return next.str();
  }

  ScopedTimeZone zone{"UTC"};
  ManualTime time{utc(10, 59) + 42.5};
  CapturedLogs logs;
  std::string posted;
  std::vector<ObserverToken> tokens;
};

// A new hour is posted before its minute.
TEST_F(SystemTimeUpdateNotificatorTest, AlignsToTheNextMinuteThenTicksEveryMinute) {
  Notificator notificator;
  notificator.start();
  EXPECT_EQ(take(), " | next 17.6 x1");
  EXPECT_NE(logs.transcript().find(std::string(LogLabel::timeUpdate) + ": Next update in 17.6 sec"),
            std::string::npos);
  EXPECT_EQ(std::pair(notificator.lastHour(), notificator.lastMinute()), std::pair(10, 59));
  EXPECT_EQ(advance(17.5), " | next 0.1 x1");
  EXPECT_EQ(advance(0.1), "CHHourChanged CHMinuteChanged | next 60 x1");
  EXPECT_EQ(advance(60), "CHMinuteChanged | next 60 x1");
  EXPECT_EQ(advance(59.9), " | next 0.1 x1");
  EXPECT_EQ(advance(0.1), "CHMinuteChanged | next 60 x1");
  EXPECT_EQ(std::pair(notificator.lastHour(), notificator.lastMinute()), std::pair(11, 2));
  notificator.stop();
  const std::pair<double, const char*> delays[] = {{0.0, "60.1"}, {59.95, "0.15"}, {0.05, "60.05"}, {30.0, "30.1"}};
  for (const auto& [second, delay] : delays) {
    time.set(utc(8, 15) + second);
    Notificator other;
    other.start();
    EXPECT_EQ(take(), std::string(" | next ") + delay + " x1") << "second " << second;
  }
}

// A clock set by hand or a resume from sleep arrives as a system event or as a wall-clock jump
// of the scheduler.
TEST_F(SystemTimeUpdateNotificatorTest, ClockChangesCheckAtOnceAndRealign) {
  auto& center = NotificationCenter::defaultCenter();
  const std::pair<const char*, std::function<void(Date)>> ways[] = {
      {"system event",
       [&](Date date) {
         time.set(date);
         center.post(Notificator::kSystemClockDidChangeNotification);
       }},
      {"wall-clock jump", [&](Date date) { time.jump(date); }},
  };
  for (const auto& [name, change] : ways) {
    SCOPED_TRACE(name);
    time.set(utc(14, 20) + 10);
    Notificator notificator;
    notificator.start();
    change(utc(13, 20) + 45);  // set back an hour: the hour changes, the minute does not
    EXPECT_EQ(take(), "CHHourChanged | next 15.1 x1");
    EXPECT_EQ(advance(15.1), "CHMinuteChanged | next 60 x1");
    change(utc(14, 5) + 20);  // woke up from a sleep of three quarters of an hour
    EXPECT_EQ(take(), "CHHourChanged CHMinuteChanged | next 40.1 x1");
    EXPECT_EQ(advance(40.1), "CHMinuteChanged | next 60 x1");
    EXPECT_EQ(notificator.lastMinute(), 6);
    notificator.stop();
    change(utc(18, 0));
    EXPECT_EQ(take(), " | next -");
  }

  // A new day in the same minute aligns anew; a zone half an hour off changes hour and minute.
  time.set(utc(14, 20) + 10);
  Notificator notificator;
  notificator.start();
  time.set(utc(14, 20) + 30);
  center.post(Notificator::kCalendarDayChangedNotification);
  EXPECT_EQ(take(), " | next 30.1 x1");
  ScopedTimeZone kolkata("Asia/Kolkata");
  center.post(Notificator::kSystemTimeZoneDidChangeNotification);
  EXPECT_EQ(std::exchange(posted, std::string()), "CHHourChanged CHMinuteChanged");
  EXPECT_EQ(std::pair(notificator.lastHour(), notificator.lastMinute()), std::pair(19, 50));
}

}  // namespace
}  // namespace chronelle::testing
