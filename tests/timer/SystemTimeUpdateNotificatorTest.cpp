#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TimerFixture.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/support/Logging.h"
#include "chronelle/timer/SystemTimeUpdateNotificator.h"
#include "testsupport/CapturedLogs.h"
#include "testsupport/ManualTime.h"
#include "teststack/ScopedTimeZone.h"

namespace chronelle::testing {
namespace {

using Notificator = SystemTimeUpdateNotificator;

class SystemTimeUpdateNotificatorTest : public ::testing::Test {
 protected:
  SystemTimeUpdateNotificatorTest() {
    for (const char* name : {Notificator::CHHourChanged, Notificator::CHMinuteChanged}) {
      tokens.push_back(NotificationCenter::defaultCenter().addObserver(
          name, nullptr,
          [this](const Notification& n) { posted += (posted.empty() ? "" : " ") + n.name; }));
    }
  }
  ~SystemTimeUpdateNotificatorTest() override { MainQueue::shared().runPending(); }
  // Moves virtual time (firing due timers), then runs the checks they queued.
  void advance(double seconds) {
    time.advance(seconds);
    MainQueue::shared().runPending();
  }
  std::string take() { return std::exchange(posted, std::string()); }
  std::string lastDelayLog() const {
    std::string text;
    for (const auto& r : logs.records(LogLabel::timeUpdate))
      if (r.message.rfind("Next update in ", 0) == 0) text = r.message;
    return text;
  }

  ScopedTimeZone zone{"UTC"};
  ManualTime time{at(10, 59, 42.5)};
  CapturedLogs logs;
  std::string posted;
  std::vector<ObserverToken> tokens;
};

TEST_F(SystemTimeUpdateNotificatorTest, AlignsToTheNextMinuteThenTicksEveryMinute) {
  Notificator notificator;
  EXPECT_EQ(time.scheduler().pendingCount(), 0u);  // nothing before start
  notificator.start();
  EXPECT_NEAR(time.scheduler().secondsUntilNextFire(), 17.6, 1e-6);
  EXPECT_EQ(lastDelayLog(), "Next update in 17.6 sec");
  EXPECT_EQ(notificator.lastHour(), 10);
  EXPECT_EQ(notificator.lastMinute(), 59);

  advance(17.5);
  EXPECT_EQ(take(), "");
  advance(0.1);  // 11:00:00.1 — a new hour, announced first
  EXPECT_EQ(take(), "CHHourChanged CHMinuteChanged");
  EXPECT_NEAR(time.scheduler().secondsUntilNextFire(), 60, 1e-6);
  advance(60);
  EXPECT_EQ(take(), "CHMinuteChanged");
  advance(59.9);
  EXPECT_EQ(take(), "");
  advance(0.1);
  EXPECT_EQ(take(), "CHMinuteChanged");
  EXPECT_EQ(notificator.lastHour(), 11);
  EXPECT_EQ(notificator.lastMinute(), 2);

  notificator.stop();
  EXPECT_EQ(time.scheduler().pendingCount(), 0u);
  advance(600);
  EXPECT_EQ(take(), "");
}

// The first check waits for the next whole minute plus a tenth of a second, a full minute
// when started on one.
TEST_F(SystemTimeUpdateNotificatorTest, DelayFromAWholeMinuteAndFromOtherSeconds) {
  const struct {
    double second;
    double delay;
  } cases[] = {{0, 60.1}, {59.95, 0.15}, {0.05, 60.05}, {30, 30.1}};
  for (const auto& c : cases) {
    time.set(at(8, 15, c.second));
    Notificator notificator;
    notificator.start();
    EXPECT_NEAR(time.scheduler().secondsUntilNextFire(), c.delay, 1e-6) << "second " << c.second;
  }
}

// Nobody posts the system events for a clock set by hand or a resume from sleep: those reach
// the notificator through the scheduler's wall-clock jumps, or its checks would lag the wall
// clock by up to a minute. Either way it checks at once and aligns anew.
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
    time.set(at(14, 20, 10));
    Notificator notificator;
    notificator.start();
    change(at(13, 20, 45));  // set back an hour: the hour changes, the minute does not
    EXPECT_EQ(take(), "CHHourChanged");
    EXPECT_NEAR(time.scheduler().secondsUntilNextFire(), 15.1, 1e-6);
    EXPECT_EQ(time.scheduler().pendingCount(), 1u);
    advance(15.1);
    EXPECT_EQ(take(), "CHMinuteChanged");
    change(at(14, 5, 20));  // woke up from a sleep of three quarters of an hour
    EXPECT_EQ(take(), "CHHourChanged CHMinuteChanged");
    EXPECT_NEAR(time.scheduler().secondsUntilNextFire(), 40.1, 1e-6);
    EXPECT_EQ(time.scheduler().pendingCount(), 1u);
    advance(40.1);
    EXPECT_EQ(take(), "CHMinuteChanged");
    EXPECT_EQ(notificator.lastMinute(), 6);
    notificator.stop();
    change(at(18, 0, 0));
    EXPECT_EQ(take(), "");
    EXPECT_EQ(time.scheduler().pendingCount(), 0u);
  }

  // A new day in the same minute announces nothing but aligns from now; a zone half an hour
  // off changes both.
  time.set(at(14, 20, 10));
  Notificator notificator;
  notificator.start();
  time.set(at(14, 20, 30));
  center.post(Notificator::kCalendarDayChangedNotification);
  EXPECT_EQ(take(), "");
  EXPECT_NEAR(time.scheduler().secondsUntilNextFire(), 30.1, 1e-6);
  EXPECT_EQ(time.scheduler().pendingCount(), 1u);
  ScopedTimeZone kolkata("Asia/Kolkata");
  center.post(Notificator::kSystemTimeZoneDidChangeNotification);
  EXPECT_EQ(take(), "CHHourChanged CHMinuteChanged");
  EXPECT_EQ(notificator.lastHour(), 19);
  EXPECT_EQ(notificator.lastMinute(), 50);
}

}  // namespace
}  // namespace chronelle::testing
