#include "chronelle/platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "chronelle/platform/MainQueue.h"

namespace chronelle {
namespace {

TEST(NotificationCenter, DeliversByNameAndSenderInRegistrationOrder) {
  NotificationCenter center;
  std::string log;
  int senderA = 0, senderB = 0;
  auto record = [&](const char* who) {
    return [&, who](const Notification& n) {
      log += who;
      if (auto count = n.value<int>("count")) log += "(" + std::to_string(*count) + ")";
      EXPECT_EQ(n.value<std::string>("count"), nullptr);  // wrong type reads as absent
      log += " ";
    };
  };
  auto any = center.addObserver("Changed", nullptr, record("any"));
  auto onlyA = center.addObserver("Changed", &senderA, record("onlyA"));
  auto other = center.addObserver("Other", nullptr, record("other"));
  auto last = center.addObserver("Changed", nullptr, record("last"));

  center.post("Changed", &senderA, {{"count", 3}});
  center.post("Changed", &senderB);
  last.reset();
  center.post("Changed", nullptr);
  EXPECT_EQ(log, "any(3) onlyA(3) last(3) any last any ");
}

TEST(NotificationCenter, ObserversMayChangeRegistrationsDuringDelivery) {
  NotificationCenter center;
  std::string log;
  ObserverToken second, added;
  auto first = center.addObserver("N", nullptr, [&](const Notification&) {
    log += "first ";
    second.reset();  // removed before its turn: not called
    if (!added) added = center.addObserver("N", nullptr, [&](const Notification&) { log += "added "; });
  });
  second = center.addObserver("N", nullptr, [&](const Notification&) { log += "second "; });
  ObserverToken self;
  self = center.addObserver("N", nullptr, [&](const Notification&) {
    log += "self ";
    self.reset();  // an observer may unregister itself from its own callback
  });
  center.post("N");
  center.post("N");
  EXPECT_EQ(log, "first self first added ");

  // A throwing observer reaches the poster and leaves the centre usable.
  auto thrower = center.addObserver("T", nullptr, [](const Notification&) {
    throw std::runtime_error("observer failed");
  });
  EXPECT_THROW(center.post("T"), std::runtime_error);
  thrower.reset();
  EXPECT_NO_THROW(center.post("T"));
  log.clear();
  center.post("N");
  EXPECT_EQ(log, "first added ");
}

TEST(NotificationCenter, QueuedObserversRunOnTheQueueAndNotAfterUnregistering) {
  NotificationCenter center;
  MainQueue queue;
  std::string log;
  auto token = center.addObserver(
      "N", nullptr, [&](const Notification&) { log += "queued "; }, &queue);
  center.post("N");
  log += "| ";
  queue.runPending();
  center.post("N");
  token.reset();
  queue.runPending();
  EXPECT_EQ(log, "| queued ");
}

TEST(NotificationCenter, NoCallbackAfterTheTokenIsDestroyedWhileAnotherThreadPosts) {
  NotificationCenter center;
  std::atomic<bool> stop{false};
  std::thread poster([&] {
    while (!stop.load()) center.post("Tick");
  });
  for (int round = 0; round < 300; ++round) {
    auto alive = std::make_shared<std::atomic<bool>>(true);
    std::atomic<int> callsAfterDestruction{0};
    {
      auto token = center.addObserver("Tick", nullptr, [alive, &callsAfterDestruction](
                                                           const Notification&) {
        if (!alive->load()) callsAfterDestruction.fetch_add(1);
      });
      std::this_thread::yield();
    }
    alive->store(false);  // the token is gone: no callback may start or still run now
    std::this_thread::yield();
    ASSERT_EQ(callsAfterDestruction.load(), 0) << "round " << round;
  }
  stop.store(true);
  poster.join();
}

}  // namespace
}  // namespace chronelle
