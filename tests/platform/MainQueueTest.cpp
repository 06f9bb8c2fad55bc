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
  try {
    queue.runUntilComplete(fails());
    ADD_FAILURE() << "the operation's exception was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "boom");
  }

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
  EXPECT_TRUE(queue.isMainThread());  // creator, while nobody drives it
  bool onWorker = true, insideWorkerRun = false;
  std::thread([&] { onWorker = queue.isMainThread(); }).join();
  EXPECT_FALSE(onWorker);
  std::thread([&] {
    queue.post([&] { insideWorkerRun = queue.isMainThread(); });
    queue.run();
  }).join();
  EXPECT_TRUE(insideWorkerRun);
  EXPECT_TRUE(queue.isMainThread());
}

}  // namespace
}  // namespace chronelle
