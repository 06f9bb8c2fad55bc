#include "chronelle/support/Injector.h"

#include <gtest/gtest.h>

#include <thread>

namespace chronelle {
namespace {

struct Stack { int id; };

TEST(Injector, SyncedContainerIsTheSharedOneOfItsFirstRequestForever) {
  // The synced container is created once per process; whichever test asks first fixes it,
  // so this test reasons from what it finds rather than assuming it is first.
  Container& synced = Injector::sharedSyncedContainer();
  const auto sharedBefore = Injector::shared();
  if (&synced == sharedBefore.get()) {
    sharedBefore->registerInstance(std::make_shared<Stack>(Stack{1}));
    EXPECT_EQ(synced.resolve<Stack>()->id, 1);  // registered in shared, seen through synced
  }

  auto replacement = std::make_shared<Container>();
  replacement->registerInstance(std::make_shared<Stack>(Stack{2}));
  Injector::setShared(replacement);
  EXPECT_EQ(Injector::shared(), replacement);
  // The replacement does not reach the resolver handed out before.
  EXPECT_EQ(&Injector::sharedSyncedContainer(), &synced);

  // Resolution from other threads sees the one instance.
  synced.registerInstance(std::make_shared<Stack>(Stack{3}));
  std::shared_ptr<Stack> fromThread;
  std::thread([&] { fromThread = Injector::sharedSyncedContainer().resolve<Stack>(); }).join();
  EXPECT_EQ(fromThread, synced.resolve<Stack>());
  Injector::setShared(nullptr);  // a fresh, empty container, never null
  EXPECT_FALSE(Injector::shared() == nullptr || Injector::shared()->isRegistered<Stack>());
}

}  // namespace
}  // namespace chronelle
