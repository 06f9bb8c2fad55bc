// Writes awaited from a coroutine of another executor, on another thread: the provider must
// touch the view context only on the main queue. Run under ThreadSanitizer to see every
// access; the notices' thread is checked in any build.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/use_awaitable.hpp>
#include <string>
#include <thread>
#include <vector>

#include "ProviderFixture.h"

namespace chronelle::testing {
namespace {

using MergeType = MainDataProvider::SessionMergeType;

// Awaits `op` run on `elsewhere`, from a coroutine of the main queue.
asio::awaitable<void> awaitElsewhere(asio::io_context& elsewhere, asio::awaitable<void> op) {
  co_await asio::co_spawn(elsewhere, std::move(op), asio::use_awaitable);
}

class MainDataProviderThreadTest : public ProviderFixture {
 protected:
  // Runs `fn` on the main queue and waits for it (the objects it reads live there).
  template <class F>
  void onMain(F&& fn) {
    context().performAndWait(std::forward<F>(fn));
  }
  // Keeps what the other thread got until the test ends on the main thread, so no object of
  // the view context is released over there.
  std::vector<std::shared_ptr<ManagedObject>> kept;
};

TEST_F(MainDataProviderThreadTest, WritesAwaitedFromAnotherThreadTouchTheViewContextOnTheMainQueue) {
  std::vector<std::string> notices;
  auto record = [&](const char* name) {
    return NotificationCenter::defaultCenter().addObserver(name, nullptr, [&, name](const Notification&) {
      notices.push_back(std::string(name) + (MainQueue::shared().isMainThread() ? " on main" : " elsewhere"));
    });
  };
  auto archived = record(DataNotifications::didArchiveNodes);
  auto unarchived = record(DataNotifications::didUnarchiveNodes);

  std::string flat, merged;
  // (g++ 12 miscompiles string literals inside a co_await statement: values are built first.)
  NodeChanges folderData{{NodeChangeKey::name, std::string("F")}};
  NodeChanges taskData{{NodeChangeKey::name, std::string("T")}};
  const std::optional<std::string> notesA = "a", notesB = "b";
  auto script = [&]() -> asio::awaitable<void> {
    auto folder = co_await provider->createFolder(folderData);
    ObjectID folderId;
    onMain([&] { folderId = folder->objectID(); });
    taskData[NodeChangeKey::parentId] = folderId;
    auto task = co_await provider->createTask(taskData);
    ObjectID taskId;
    std::string taskIdentifier;
    onMain([&] {
      taskId = task->objectID();
      taskIdentifier = *task->identifier();
    });
    auto first = co_await provider->createTimeEntry(utc(9), utc(9, 30), taskId, false, notesA);
    auto second = co_await provider->createTimeEntry(utc(10), utc(10, 15), taskId, false, notesB);
    std::vector<std::string> entryIds;
    onMain([&] { entryIds = {*first->identifier(), *second->identifier()}; });
    co_await provider->mergeSessions(entryIds, taskIdentifier, MergeType::byPushingSessionsTogether);
    const std::vector<ObjectID> folderIds{folderId};
    co_await provider->archiveNodes(folderIds, true);
    co_await provider->unarchiveNodes(folderIds, true);
    const auto items = provider->getFlatNodeStructure(nullptr, true, false);
    onMain([&] {
      for (const auto& item : items) flat += std::to_string(item.level) + item.node->name() + " ";
      for (const auto& entry : task->sessions()) {
        merged += entry->begin()->isoString() + " " + entry->end()->isoString() + " " + entry->notes().value_or("-");
      }
      kept = {folder, task, first, second};
      for (const auto& item : items) kept.push_back(item.node);
    });
  };

  asio::io_context elsewhere;
  auto work = asio::make_work_guard(elsewhere);
  std::thread worker([&] { elsewhere.run(); });
  runOnMain(awaitElsewhere(elsewhere, script()));
  work.reset();
  worker.join();

  EXPECT_EQ(notices, (std::vector<std::string>{"Data.didArchiveNodes on main", "Data.didUnarchiveNodes on main"}));
  EXPECT_EQ(flat, "0F 1T ");
  EXPECT_EQ(merged, utc(9).isoString() + " " + utc(9, 45).isoString() + " a\nb");
}

}  // namespace
}  // namespace chronelle::testing
