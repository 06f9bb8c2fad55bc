// The reads of BaseDataProvider on a real store, unsaved changes included.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/platform/MainQueue.h"

namespace chronelle::testing {
namespace {

template <class T>
std::string names(const std::vector<std::shared_ptr<T>>& nodes) {
  std::string text;
  for (const auto& n : nodes) text += (text.empty() ? "" : " ") + n->name();
  return text;
}

class BaseDataProviderRead : public StackFixture {
 protected:
  BaseDataProvider provider{stack->viewContext()};
};

TEST_F(BaseDataProviderRead, TasksIncludingUnsavedOnesAndRecentTasks) {
  auto folder = makeFolder("Folder");
  auto archived = makeTask("Archived", folder, 1);
  archived->setArchived(true);
  for (int i = 0; i < 5; ++i) {
    auto recent = makeTask("Recent" + std::to_string(i), folder, 10 - i);
    recent->setLastSessionBegin(utc(9, i));
  }
  archived->setLastSessionBegin(utc(8));
  auto never = makeTask("Never", nullptr, 0);
  save();
  auto unsaved = makeTask("Unsaved", folder, 20);

  EXPECT_EQ(provider.getTotalTasksCount(), 8u);
  EXPECT_EQ(provider.getAllTasks(true).size(), 8u);
  const auto active = provider.getAllTasks(false);
  EXPECT_EQ(active.size(), 7u);
  for (const auto& t : active) EXPECT_NE(t->name(), "Archived");

  EXPECT_EQ(provider.getTask(*unsaved->identifier()), unsaved);
  EXPECT_EQ(provider.getTask(*never->identifier()), never);
  EXPECT_EQ(provider.getTask(*folder->identifier()), nullptr) << "a folder is not a task";
  EXPECT_EQ(provider.getFolder(*folder->identifier()), folder);
  EXPECT_EQ(provider.getFolder("no such identifier"), nullptr);

  // The limit is a batch size, not a cap; order is `order`, archived and unstarted tasks
  // are left out.
  EXPECT_EQ(names(provider.getRecentTasks(3)), "Recent4 Recent3 Recent2 Recent1 Recent0");
}

TEST_F(BaseDataProviderRead, ChildrenAndFlatListing) {
  auto a = makeFolder("A", nullptr, 0);
  auto t1 = makeTask("t1", a, 0);
  auto b = makeFolder("B", a, 1);
  makeTask("t2", b, 0);
  auto old = makeFolder("Old", nullptr, 1);
  old->setArchived(true);
  auto oldChild = makeTask("oldChild", old, 0);
  auto archivedInA = makeTask("archivedInA", a, 2);
  archivedInA->setArchived(true);
  auto top = makeTask("top", nullptr, 2);
  save();

  using Type = NodeFilter::NodeTypeOption;
  using State = NodeFilter::ArchivedStateOption;
  // Inside a folder the archived state is not applied.
  EXPECT_EQ(names(provider.getChildren(a, NodeFilter::allNodes)), "t1 B archivedInA");
  EXPECT_EQ(names(provider.getChildren(a, NodeFilter(Type::all, State::active))), "t1 B archivedInA");
  EXPECT_EQ(names(provider.getChildren(a, NodeFilter(Type::task, State::active))), "t1 archivedInA");
  EXPECT_EQ(names(provider.getChildren(a, NodeFilter(Type::folder, State::all))), "B");
  // At the top it is.
  EXPECT_EQ(names(provider.getChildren(nullptr, NodeFilter(Type::all, State::active))), "A top");
  EXPECT_EQ(names(provider.getChildren(nullptr, NodeFilter(Type::all, State::archived))), "Old");
  EXPECT_EQ(names(provider.getChildren(nullptr, NodeFilter(Type::folder, State::all))), "A Old");

  auto render = [](const std::vector<FlatNodeStuctureItem>& items) {
    std::string text;
    for (const auto& item : items) {
      text += (text.empty() ? "" : " ") + item.node->name() + ":" + std::to_string(item.level) +
              (item.hasChildren ? "+" : "");
    }
    return text;
  };
  EXPECT_EQ(render(provider.getFlatNodeStructure(nullptr, true, false)), "A:0+ t1:1 B:1+ t2:2 archivedInA:1 top:0");
  EXPECT_EQ(render(provider.getFlatNodeStructure(nullptr, false, false)), "A:0+ B:1");
  EXPECT_EQ(render(provider.getFlatNodeStructure(nullptr, false, true)), "A:0+ B:1 Old:0");
  EXPECT_EQ(render(provider.getFlatNodeStructure(a, true, false)), "t1:0 B:0+ t2:1 archivedInA:0");

  EXPECT_EQ(provider.getTasks({a, t1, top}).size(), 4u) << "t1 once, t2 and archivedInA below A, top";
  EXPECT_EQ(provider.getTasks({old}), TaskSet{oldChild});
}

TEST_F(BaseDataProviderRead, TimeEntriesCountsOldestLatestAndRunning) {
  auto folder = makeFolder("Folder");
  auto inFolder = makeTask("In folder", folder);
  auto loose = makeTask("Loose");
  auto early = makeSession(loose, utc(7), utc(8));
  auto late = makeSession(inFolder, utc(9), utc(11));
  auto middle = makeSession(inFolder, utc(8), utc(10));
  save();
  auto running = makeSession(inFolder, utc(11, 30), std::nullopt);  // unsaved

  EXPECT_EQ(provider.getSessions(std::nullopt),
            (std::vector<std::shared_ptr<Session>>{early, middle, late, running}));
  SessionQuery3 query;
  query.from = utc(10, 30);
  query.to = utc(12);
  time.set(utc(11, 45));
  EXPECT_EQ(provider.getSessions(query), (std::vector<std::shared_ptr<Session>>{late, running}));
  EXPECT_EQ(provider.getSession(*running->identifier()), running);
  EXPECT_EQ(provider.getSession("missing"), nullptr);

  EXPECT_EQ(provider.getSessionCount({}), 4u);
  EXPECT_EQ(provider.getSessionCount({folder}), 3u);
  EXPECT_EQ(provider.getSessionCount({loose}), 1u);
  EXPECT_EQ(provider.getSessionCount({makeFolder("Empty")}), 4u) << "no task below: every entry counts";

  EXPECT_EQ(provider.getOldestSession({}), early);
  EXPECT_EQ(provider.getOldestSession({inFolder}), middle);
  EXPECT_EQ(provider.getLatestTimeEntry({}), nullptr);
  EXPECT_EQ(provider.getLatestTimeEntry({inFolder, loose}), late);
  EXPECT_EQ(provider.getRunningTimeEntries(), (std::vector<std::shared_ptr<Session>>{running}));
}

TEST_F(BaseDataProviderRead, RuleSetsActivityLogsAndObjects) {
  auto activeTask = makeTask("Active");
  auto archivedTask = makeTask("Archived");
  archivedTask->setArchived(true);
  auto wanted = provider.newRuleSet();
  wanted->setTask(activeTask);
  auto ofArchived = provider.newRuleSet();
  ofArchived->setTask(archivedTask);
  auto inactive = provider.newRuleSet();
  inactive->setTask(makeTask("Other"));
  inactive->setActive(false);

  auto entry = [&](const char* title, std::optional<Date> begin, std::optional<Date> end) {
    auto e = context().insert<ALEntry>(ALEntry::kEntityName);
    e->setTitle(std::string(title));
    e->setBegin(begin);
    e->setEnd(end);
    return e;
  };
  entry("before", utc(6), utc(7));
  entry("startsInside", utc(9, 30), utc(11));
  entry("endsInside", utc(8), utc(9, 30));
  entry("spans", utc(8), utc(11));
  entry("after", utc(11), utc(12));
  auto recording = entry("recording", utc(9, 45), std::nullopt);
  save();

  EXPECT_EQ(provider.getActiveRuleSets(), (std::vector<std::shared_ptr<RuleSet>>{wanted}));
  EXPECT_EQ(DataModifier(stack->viewContext()).getActiveRuleSets(), (std::vector<std::shared_ptr<RuleSet>>{wanted}));

  auto titles = [](const std::vector<std::shared_ptr<ALEntry>>& entries) {
    std::vector<std::string> list;
    for (const auto& e : entries) list.push_back(e->title().value_or("?"));
    std::sort(list.begin(), list.end());
    std::string text;
    for (const auto& t : list) text += (text.empty() ? "" : " ") + t;
    return text;
  };
  EXPECT_EQ(titles(provider.getActivityLogs(utc(9), utc(10))), "endsInside recording spans startsInside");
  EXPECT_EQ(titles(provider.getActivityLogs(utc(11, 30), std::nullopt)), "after");
  EXPECT_EQ(titles(provider.getActivityLogs(std::nullopt, utc(8))), "before endsInside spans");
  EXPECT_EQ(titles(provider.getActivityLogs(std::nullopt, std::nullopt)),
            "after before endsInside recording spans startsInside");

  // A running entry shows what the recorder saved meanwhile, and keeps our own edits.
  auto recorder = stack->privateContext();
  recorder->performAndWait([&] {
    auto theirs = recorder->existingObject(recording->objectID());
    theirs->setValue("bundleId", std::string("com.example.editor"));
    recorder->save();
  });
  recording->setTitle(std::string("renamed here"));
  provider.getActivityLogs(utc(9), utc(10));
  EXPECT_EQ(recording->bundleId(), "com.example.editor");
  EXPECT_EQ(recording->title(), "renamed here");

  EXPECT_EQ(provider.coreDataStack(), stack) << "resolved from the container";
  EXPECT_EQ(provider.getObject(wanted->objectID()), wanted);
  EXPECT_EQ(provider.getObject(ObjectID::permanent("Task", 424242, "00000000-0000-0000-0000-000000000000")), nullptr);
}

TEST_F(BaseDataProviderRead, ReadFromAnotherThreadRunsOnTheMainQueue) {
  makeTask("One");
  makeTask("Two");
  save();
  std::atomic<bool> done = false;
  std::size_t count = 0;
  std::vector<std::shared_ptr<Task>> tasks;
  MainQueue::shared().runPending();  // nothing else is left to run
  std::size_t mainQueueTasks = 0;
  std::thread reader([&] {
    count = provider.getTotalTasksCount();
    tasks = provider.getAllTasks(true);  // the objects themselves are read back on this thread
    done = true;
  });
  // The reads wait for the main queue, which this thread drives: each is one task of it. A
  // read made directly on the reader's thread would finish without any.
  while (!done) mainQueueTasks += MainQueue::shared().runPending();
  reader.join();
  EXPECT_GE(mainQueueTasks, 2u);
  EXPECT_EQ(count, 2u);
  std::vector<std::string> names;
  for (const auto& task : tasks) names.push_back(task->name());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"One", "Two"}));
}

}  // namespace
}  // namespace chronelle::testing
