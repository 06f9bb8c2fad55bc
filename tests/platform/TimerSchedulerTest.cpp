#include "chronelle/platform/TimerScheduler.h"

#include <gtest/gtest.h>

#include <string>

#include "chronelle/platform/Clock.h"
#include "chronelle/platform/MainQueue.h"
#include "testsupport/ManualTime.h"

namespace chronelle {
namespace {

TEST(ManualTimerScheduler, FiresInDueOrderWithTheClockAtEachDueInstant) {
  testing::ManualTime time;
  const Date start = time.now();
  auto& scheduler = TimerScheduler::current();
  std::string log;
  auto at = [&](const char* name) {
    return [&, name] {
      log += name;
      log += "@" + std::to_string(static_cast<int>(Clock::now().timeIntervalSince(start))) + " ";
    };
  };
  scheduler.scheduleOnce(5, at("five"));
  auto repeating = scheduler.scheduleRepeating(2, at("tick"));
  scheduler.scheduleOnce(2, at("two"));  // same due time as the first tick: scheduled later
  auto cancelled = scheduler.scheduleOnce(3, at("never"));
  cancelled->cancel();
  cancelled->cancel();  // idempotent
  EXPECT_FALSE(cancelled->isValid());
  EXPECT_EQ(time.scheduler().pendingCount(), 3u);
  EXPECT_DOUBLE_EQ(time.scheduler().secondsUntilNextFire(), 2);

  time.advance(4.5);
  EXPECT_EQ(log, "tick@2 two@2 tick@4 ");
  EXPECT_DOUBLE_EQ(time.now().timeIntervalSince(start), 4.5);

  log.clear();
  time.advance(2);
  repeating->cancel();
  time.advance(10);
  EXPECT_EQ(log, "five@5 tick@6 ");
  EXPECT_EQ(time.scheduler().pendingCount(), 0u);
  EXPECT_LT(time.scheduler().secondsUntilNextFire(), 0);
}

TEST(ManualTimerScheduler, CallbacksMayScheduleAndCancelTimers) {
  testing::ManualTime time;
  auto& scheduler = TimerScheduler::current();
  std::string log;
  std::shared_ptr<ScheduledTimer> repeating;
  int ticks = 0;
  repeating = scheduler.scheduleRepeating(1, [&] {
    log += "tick ";
    if (++ticks == 3) repeating->cancel();
  });
  scheduler.scheduleOnce(1.5, [&] {
    scheduler.scheduleOnce(0.25, [&] { log += "chained "; });  // due within this advance
  });
  time.advance(100);
  EXPECT_EQ(log, "tick chained tick tick ");
  EXPECT_FALSE(repeating->isValid());
}

TEST(AsioTimerScheduler, FiresOnTheQueueUntilCancelled) {
  MainQueue queue;
  AsioTimerScheduler scheduler(queue);
  std::string log;
  // Armed on the queue's thread; nothing sets the clock here, so it never calls back, and
  // the queue runs dry only once it is cancelled.
  auto jumps = scheduler.observeWallClockJumps([&] { log += "jump "; });
  std::shared_ptr<ScheduledTimer> repeating;
  int ticks = 0;
  repeating = scheduler.scheduleRepeating(0.001, [&] {
    log += "tick ";
    if (++ticks == 3) {
      EXPECT_TRUE(jumps->isValid()) << "the wall-clock watch could not be armed";
      repeating->cancel();
      jumps->cancel();
    }
  });
  auto once = scheduler.scheduleOnce(0, [&] { log += "once "; });
  auto cancelled = scheduler.scheduleOnce(0, [&] { log += "never "; });
  cancelled->cancel();
  queue.run();  // returns when no timer is left
  EXPECT_EQ(log, "once tick tick tick ");
  EXPECT_FALSE(once->isValid());
  EXPECT_FALSE(repeating->isValid());
  EXPECT_FALSE(jumps->isValid());
}

}  // namespace
}  // namespace chronelle
