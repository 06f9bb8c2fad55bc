// The main queue, and the timers that fire on it (manual and real).
#include "chronelle/platform/MainQueue.h"

#include <gtest/gtest.h>

#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <stdexcept>
#include <string>
#include <thread>

#include "chronelle/platform/Clock.h"
#include "chronelle/platform/TimerScheduler.h"
#include "testsupport/ManualTime.h"

namespace chronelle {
namespace {

TEST(MainQueue, TasksRunInOrderAndHooksRunBetweenTasks) {
  MainQueue queue;
  std::string log;
  queue.post([&] {
    log += "a";
    queue.deferUntilEndOfTask([&] {
      log += "[end a]";
      queue.deferUntilEndOfTask([&] { log += "[end a again]"; });  // same end of task
    });
    queue.post([&] { log += "c"; });
    log += "a'";
  });
  queue.post([&] { log += "b"; });
  // Outside any task the hook is simply queued.
  queue.deferUntilEndOfTask([&] { log += "[outside]"; });
  EXPECT_EQ(queue.runPending(), 4u);
  EXPECT_EQ(log, "aa'[end a][end a again]b[outside]c");
  EXPECT_EQ(queue.runPending(), 0u);
}

TEST(MainQueue, HooksFollowEachCoroutineResumption) {
  MainQueue queue;
  std::string log;
  auto op = [&]() -> asio::awaitable<int> {
    log += "start ";
    queue.deferUntilEndOfTask([&] { log += "hook1 "; });
    // Suspend: the rest runs as a later task, after the other queued task.
    co_await asio::post(co_await asio::this_coro::executor, asio::use_awaitable);
    log += "resumed ";
    queue.deferUntilEndOfTask([&] { log += "hook2 "; });
    co_return 42;
  };
  queue.post([&] { log += "other "; });
  EXPECT_EQ(queue.runUntilComplete(op()), 42);
  queue.runPending();
  EXPECT_EQ(log, "other start hook1 resumed hook2 ");
}

TEST(MainQueue, RunUntilCompleteReturnsValuesAndRethrows) {
  MainQueue queue;
  auto fails = []() -> asio::awaitable<std::string> {
    throw std::runtime_error("boom");
    co_return "";
  };
  EXPECT_THROW(queue.runUntilComplete(fails()), std::runtime_error);

  // An operation that waits for another thread: the queue must keep waiting for the
  // result rather than return because it ran out of ready work.
  auto fromWorker = [&]() -> asio::awaitable<void> {
    auto executor = co_await asio::this_coro::executor;
    asio::steady_timer signal(executor, asio::steady_timer::time_point::max());
    std::thread worker([&] { asio::post(executor, [&] { signal.cancel(); }); });
    std::error_code ec;
    co_await signal.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    worker.join();
  };
  queue.runUntilComplete(fromWorker());

  // A task that throws reaches the driver, and its hooks still ran.
  bool hookRan = false;
  queue.post([&] {
    queue.deferUntilEndOfTask([&] { hookRan = true; });
    throw std::logic_error("task failed");
  });
  EXPECT_THROW(queue.runPending(), std::logic_error);
  EXPECT_TRUE(hookRan);
}

TEST(MainQueue, MainThreadIsTheDrivingThread) {
  MainQueue queue;
  std::string seen = queue.isMainThread() ? "creator" : "";  // while nobody drives it
  std::thread([&] { seen += queue.isMainThread() ? " worker" : ""; }).join();
  std::thread([&] {
    queue.post([&] { seen += queue.isMainThread() ? " driver" : ""; });
    queue.run();
  }).join();
  EXPECT_EQ(seen + (queue.isMainThread() ? " creator" : ""), "creator driver creator");
}

// Callbacks may schedule and cancel timers, their own included.
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
  std::shared_ptr<ScheduledTimer> repeating;
  int ticks = 0;
  repeating = scheduler.scheduleRepeating(2, [&] {
    at("tick")();
    if (++ticks == 3) repeating->cancel();
  });
  scheduler.scheduleOnce(2, [&] {  // same due time as the first tick: scheduled later
    at("two")();
    scheduler.scheduleOnce(0.25, at("chained"));  // due within this advance
  });
  auto cancelled = scheduler.scheduleOnce(3, at("never"));
  cancelled->cancel();
  cancelled->cancel();  // idempotent
  EXPECT_FALSE(cancelled->isValid());
  EXPECT_EQ(std::tuple(time.scheduler().pendingCount(), time.scheduler().secondsUntilNextFire()),
            std::tuple(3u, 2.0));

  time.advance(4.5);
  EXPECT_EQ(log, "tick@2 two@2 chained@2 tick@4 ");
  EXPECT_DOUBLE_EQ(time.now().timeIntervalSince(start), 4.5);

  log.clear();
  time.advance(100);
  EXPECT_EQ(log, "five@5 tick@6 ");
  EXPECT_FALSE(repeating->isValid());
  EXPECT_TRUE(time.scheduler().pendingCount() == 0 && time.scheduler().secondsUntilNextFire() < 0);
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
  EXPECT_FALSE(once->isValid() || repeating->isValid() || jumps->isValid());
}

}  // namespace
}  // namespace chronelle
