#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "StoreTestModel.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/Predicate.h"

namespace chronelle::testing {
namespace {

// The main context moves rank points between two spots and saves, again and again; a
// private context on another thread keeps reading. Every read must see a saved state:
// the ranks always add up to 100 and each visit's tally matches the transfer count.
TEST(ContextThreadTest, APrivateContextReadsConsistentSavedStatesWhileTheMainContextSaves) {
  TestStore store;
  auto left = with(store.spot("left"), {{"rank", 100}});
  auto right = store.spot("right");
  store.context->save();

  auto reader = store.newContext(ConcurrencyType::privateQueue);
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  std::vector<std::string> problems;
  std::thread thread([&] {
    while (!done.load() || reads.load() < 5) {
      reader->performAndWait([&] {
        int objectSum = 0;
        for (const auto& spot : reader->fetch(FetchRequest("Spot"))) objectSum += static_cast<int>(*spot->value("rank").asInteger());
        FetchRequest sum("Spot");
        sum.propertiesToFetch = {ExpressionDescription{"sum", "sum:", "rank", AttributeType::integer64}};
        const auto rows = reader->fetchDictionaries(sum);
        FetchRequest visits("Visit");
        visits.propertiesToFetch = {ExpressionDescription{"n", "count:", "tally", AttributeType::integer64},
                                    ExpressionDescription{"max", "max:", "tally", AttributeType::integer64}};
        const auto counted = reader->fetchDictionaries(visits);
        const auto n = counted.at(0).at("n");
        const auto max = counted.at(0).count("max") ? counted.at(0).at("max") : Value(0);
        if (objectSum != 100 || rows.at(0).at("sum") != Value(100) || n != max) {
          problems.push_back("sum " + std::to_string(objectSum) + " / " + rows.at(0).at("sum").description() +
                             ", visits " + n.description() + " max " + max.description());
        }
      });
      reads.fetch_add(1);
    }
  });
  for (int i = 1; i <= 150; ++i) {
    left->setValue("rank", 100 - i % 100);
    right->setValue("rank", i % 100);
    store.visit(right, i);
    store.context->save();
  }
  done.store(true);
  thread.join();
  EXPECT_TRUE(problems.empty()) << problems.size() << " inconsistent reads, first: " << problems.front();
  EXPECT_GE(reads.load(), 5);
}

TEST(ContextThreadTest, PerformAndWaitIsReentrantAndReachesTheMainQueueFromOtherThreads) {
  TestStore store;
  auto privateContext = store.newContext(ConcurrencyType::privateQueue);
  int depth = 0;
  privateContext->performAndWait([&] {
    ++depth;
    privateContext->performAndWait([&] { ++depth; });
  });
  EXPECT_EQ(depth, 2);

  // A main-queue context used from another thread runs the block on the main queue.
  ASSERT_TRUE(MainQueue::shared().isMainThread());
  std::atomic<bool> ranOnMain{false};
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    store.context->performAndWait([&] { ranOnMain.store(MainQueue::shared().isMainThread()); });
    EXPECT_THROW(store.context->performAndWait([] { throw std::runtime_error("inside"); }), std::runtime_error);
    finished.store(true);
  });
  while (!finished.load()) MainQueue::shared().runPending();
  worker.join();
  EXPECT_TRUE(ranOnMain.load());
}

}  // namespace
}  // namespace chronelle::testing
