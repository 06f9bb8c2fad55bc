// Writes awaited from a coroutine of another executor, on another thread, while the main
// thread keeps working on the view context: the provider must touch that context only on the
// main queue. ThreadSanitizer sees the accesses; the notices' thread is checked in any build.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <string>
#include <thread>
#include <vector>

#include "teststack/ProviderFixture.h"

namespace chronelle::testing {
namespace {

class MainDataProviderThreadTest : public ProviderFixture {};

TEST_F(MainDataProviderThreadTest, WritesAwaitedFromAnotherThreadTouchTheViewContextOnTheMainQueue) {
  std::string seen;  // what the observers and the final look saw, written on the main queue
  auto note = [&](const char* name) {
    return NotificationCenter::defaultCenter().addObserver(name, nullptr, [&](const Notification&) {
      seen += MainQueue::shared().isMainThread() ? "notice on main | " : "notice elsewhere | ";
    });
  };
  auto archived = note(DataNotifications::didArchiveNodes);
  auto unarchived = note(DataNotifications::didUnarchiveNodes);
  auto onMain = [&](const std::function<void()>& fn) { context().performAndWait(fn); };
  std::vector<std::shared_ptr<ManagedObject>> kept;  // released on the main thread at the end

  // (g++ 12 miscompiles string literals inside a co_await statement: values are built first.)
  const NodeChanges folderData{{NodeChangeKey::name, std::string("F")}};
  const std::optional<std::string> notes = "n";
  auto oneRound = [&]() -> asio::awaitable<void> {
    auto folder = co_await provider->createFolder(folderData);
    NodeChanges taskData{{NodeChangeKey::name, std::string("T")}};
    std::vector<ObjectID> folderIds;
    onMain([&] { folderIds = {folder->objectID()}; });
    taskData[NodeChangeKey::parentId] = folderIds.front();
    auto task = co_await provider->createTask(taskData);
    ObjectID taskId;
    std::string taskIdentifier;
    onMain([&] {
      taskId = task->objectID();
      taskIdentifier = *task->identifier();
    });
    auto first = co_await provider->createTimeEntry(utc(9), utc(9, 30), taskId, false, notes);
    auto second = co_await provider->createTimeEntry(utc(10), utc(10, 15), taskId, false, notes);
    std::vector<std::string> entryIds;
    onMain([&] { entryIds = {*first->identifier(), *second->identifier()}; });
    co_await provider->mergeSessions(entryIds, taskIdentifier, MainDataProvider::SessionMergeType::byPushingSessionsTogether);
    co_await provider->archiveNodes(folderIds, true);
    co_await provider->unarchiveNodes(folderIds, true);
    const auto items = provider->getFlatNodeStructure(nullptr, true, false);
    onMain([&] {
      for (const auto& item : items) seen += std::to_string(item.level) + item.node->name() + " ";
      seen += std::to_string(task->sessions().size()) + " | ";
      kept.insert(kept.end(), {folder, task, first, second});
    });
  };

  // The main thread re-reads every node and entry from the store, over and over, as an
  // application's main thread keeps using them; the other thread runs three rounds of writes,
  // so that a read made over there has more chances to meet one of these.
  bool finished = false;
  auto churn = [&]() -> asio::awaitable<void> {
    while (!finished) {
      for (const char* entity : {Node::kEntityName, Session::kEntityName}) {
        for (const auto& object : context().fetch(FetchRequest(entity))) context().refresh(object, true);
      }
      co_await asio::post(MainQueue::shared().executor(), asio::use_awaitable);
    }
  };
  asio::io_context elsewhere;
  auto work = asio::make_work_guard(elsewhere);
  std::thread worker([&] { elsewhere.run(); });
  auto rounds = [&]() -> asio::awaitable<void> {
    for (int round = 0; round < 3; ++round) co_await oneRound();
  };
  auto both = [&]() -> asio::awaitable<void> {
    asio::co_spawn(MainQueue::shared().executor(), churn(), asio::detached);
    co_await asio::co_spawn(elsewhere, rounds(), asio::use_awaitable);
    finished = true;
  };
  runOnMain(both());
  MainQueue::shared().runPending();  // the churn ends
  work.reset();
  worker.join();

  EXPECT_EQ(seen,
            "notice on main | notice on main | 0F 1T 1 | "
            "notice on main | notice on main | 0F 1T 0F 1T 1 | "
            "notice on main | notice on main | 0F 1T 0F 1T 0F 1T 1 | ");
}

}  // namespace
}  // namespace chronelle::testing
