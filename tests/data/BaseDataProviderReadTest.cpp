// The reads of BaseDataProvider and ManagedObjectFetcher on a real store, unsaved changes included.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "teststack/StackFixture.h"
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/data/ManagedObjectFetcher.h"
#include "chronelle/data/TimeEntryRow.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/platform/MainQueue.h"

namespace chronelle::testing {
namespace {

class BaseDataProviderRead : public StackFixture {
 protected:
  BaseDataProvider provider{stack->viewContext()};
};

TEST_F(BaseDataProviderRead, TasksIncludingUnsavedOnesAndRecentTasks) {
  auto folder = makeFolder("Folder");
  auto archived = makeTask("Archived", folder, 1);
  archived->setArchived(true);
  archived->setLastSessionBegin(utc(8));
  for (int i = 0; i < 5; ++i)
    makeTask("Recent" + std::to_string(i), folder, 10 - i)->setLastSessionBegin(utc(9, i));
  auto never = makeTask("Never", nullptr, 0);
  save();
  auto unsaved = makeTask("Unsaved", folder, 20);

  const auto active = provider.getAllTasks(false);
  EXPECT_EQ(std::tuple(provider.getTotalTasksCount(), provider.getAllTasks(true).size(),
                       names(active).find("Archived"), active.size()),
            std::tuple(8u, 8u, std::string::npos, 7u));
  EXPECT_TRUE(provider.getTask(*unsaved->identifier()) == unsaved &&
              provider.getTask(*never->identifier()) == never);
  EXPECT_EQ(provider.getTask(*folder->identifier()), nullptr) << "a folder is not a task";
  EXPECT_TRUE(provider.getFolder(*folder->identifier()) == folder && !provider.getFolder("none"));
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
  using Sessions = std::vector<std::shared_ptr<Session>>;

  EXPECT_EQ(provider.getSessions(std::nullopt), (Sessions{early, middle, late, running}));
  time.set(utc(11, 45));
  const SessionQuery3 query{utc(10, 30), utc(12), {}, {}, {}};
  EXPECT_EQ(provider.getSessions(query), (Sessions{late, running}));
  EXPECT_TRUE(provider.getSession(*running->identifier()) == running && !provider.getSession("x"));
  // No task below a node: every entry counts.
  const auto& p = provider;
  EXPECT_EQ(std::vector({p.getSessionCount({}), p.getSessionCount({folder}),
                         p.getSessionCount({loose}), p.getSessionCount({makeFolder("Empty")})}),
            std::vector<std::size_t>({4, 3, 1, 4}));
  EXPECT_EQ((Sessions{p.getOldestSession({}), p.getOldestSession({inFolder}),
                      p.getLatestTimeEntry({}), p.getLatestTimeEntry({inFolder, loose})}),
            (Sessions{early, middle, nullptr, late}));
  EXPECT_EQ(provider.getRunningTimeEntries(), (Sessions{running}));
}

// The rows are what getSessions gives, in its order: entries sharing a begin in the order they
// were stored (a running one too), unsaved changes included.
TEST_F(BaseDataProviderRead, SessionRowsAreTheEntriesOfGetSessionsInOrder) {
  const auto text = [](const TimeEntryRow& r) {
    return r.identifier.value_or("-") + " " + (r.task ? std::to_string(r.task->primaryKey()) : "-") + " " +
           (r.begin ? r.begin->isoString() : "-") + " " + (r.end ? r.end->isoString() : "-") + " " +
           std::to_string(r.effectiveDuration) + " " + std::to_string(r.isBillable) + " " + std::to_string(r.hourlyRate) +
           " " + std::to_string(r.effectiveRevenue) + " " + r.billingStatus.enDescription() + " " +
           r.notes.value_or("-") + " " + std::to_string(r.autotracked) + "\n";
  };
  const auto expectSame = [&](const std::optional<SessionQuery3>& query, const std::string& label) {
    std::string rows, objects;
    EXPECT_TRUE(provider.enumerateSessionRows(query, [&](const TimeEntryRow& row) { rows += text(row); }));
    for (const auto& entry : provider.getSessions(query)) objects += text(TimeEntryRow::of(*entry));
    EXPECT_EQ(rows, objects) << label;
    return std::count(rows.begin(), rows.end(), '\n');
  };
  auto task = makeTask("Task");
  auto billable = makeSession(task, utc(9), utc(10));
  billable->setIsBillable(true);
  billable->setHourlyRate(30);
  billable->setConfirmedRevenue(30);
  billable->setBillingStatusValue(2);
  billable->setNotes("n");
  billable->setAutotracked(true);
  makeSession(nullptr, utc(8), utc(9));
  save();
  // Two groups sharing a begin, each stored in an order that their identifiers do not follow,
  // the later one with a running entry stored after a finished one.
  for (int i = 0; i < 3; ++i) makeSession(task, utc(11), utc(12 + i))->setIdentifier("z" + std::to_string(i));
  makeSession(task, utc(11), utc(12))->setIdentifier("a");
  makeSession(task, utc(13), utc(14));
  makeSession(task, utc(15), utc(16));
  save();
  auto running = makeSession(task, utc(15), std::nullopt);
  running->setIsBillable(true);
  running->setHourlyRate(60);
  save();
  time.set(utc(17, 30));
  EXPECT_EQ(expectSame(std::nullopt, "all"), 9);
  EXPECT_EQ(expectSame(SessionQuery3{utc(10, 30), utc(15, 30), {}, {}, {}}, "period"), 7);
  EXPECT_EQ(expectSame(SessionQuery3{utc(17), utc(20), {}, {}, {}}, "running only"), 1);
  makeSession(task, utc(14), std::nullopt);  // unsaved
  EXPECT_EQ(expectSame(std::nullopt, "unsaved"), 10);
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

  std::shared_ptr<ALEntry> recording;
  for (const auto& [title, begin, end] : {std::tuple("before", utc(6), std::optional(utc(7))),
                                          {"startsInside", utc(9, 30), utc(11)}, {"endsInside", utc(8), utc(9, 30)},
                                          {"spans", utc(8), utc(11)}, {"after", utc(11), utc(12)},
                                          {"recording", utc(9, 45), std::nullopt}}) {
    recording = context().insert<ALEntry>(ALEntry::kEntityName);
    recording->setTitle(std::string(title)), recording->setBegin(begin), recording->setEnd(end);
  }
  save();

  const std::vector<std::shared_ptr<RuleSet>> active{wanted};
  EXPECT_EQ(provider.getActiveRuleSets(), active);
  EXPECT_EQ(DataModifier(stack->viewContext()).getActiveRuleSets(), active);

  auto titles = [](const std::vector<std::shared_ptr<ALEntry>>& entries) {
    std::set<std::string> list;
    for (const auto& e : entries) list.insert(e->title().value_or("?"));
    return std::accumulate(list.begin(), list.end(), std::string(), [](auto a, auto b) { return a + b + " "; });
  };
  EXPECT_EQ(titles(provider.getActivityLogs(utc(9), utc(10))), "endsInside recording spans startsInside ");
  EXPECT_EQ(titles(provider.getActivityLogs(utc(11, 30), std::nullopt)), "after ");
  EXPECT_EQ(titles(provider.getActivityLogs(std::nullopt, utc(8))), "before endsInside spans ");
  EXPECT_EQ(titles(provider.getActivityLogs(std::nullopt, std::nullopt)),
            "after before endsInside recording spans startsInside ");

  // A running entry shows what the recorder saved meanwhile, and keeps our own edits.
  auto recorder = stack->privateContext();
  recorder->performAndWait([&] {
    auto theirs = recorder->existingObject(recording->objectID());
    theirs->setValue("bundleId", std::string("com.example.editor"));
    recorder->save();
  });
  recording->setTitle(std::string("renamed here"));
  provider.getActivityLogs(utc(9), utc(10));
  EXPECT_EQ(recording->bundleId().value_or("-") + " " + recording->title().value_or("-"),
            "com.example.editor renamed here");
  EXPECT_EQ(provider.getObject(wanted->objectID()), wanted);
}

TEST_F(BaseDataProviderRead, ReadFromAnotherThreadRunsOnTheMainQueue) {
  makeTask("One");
  makeTask("Two");
  save();
  std::atomic<bool> done = false;
  std::size_t count = 0, tasks = 0, mainQueueTasks = 0;
  MainQueue::shared().runPending();  // nothing else is left to run
  std::thread reader([&] {
    count = provider.getTotalTasksCount();
    tasks = provider.getAllTasks(true).size();  // the objects themselves are read on this thread
    done = true;
  });
  // The reads wait for the main queue, which this thread drives: each is one task of it. A
  // read made directly on the reader's thread would finish without any.
  while (!done) mainQueueTasks += MainQueue::shared().runPending();
  reader.join();
  EXPECT_EQ(std::tuple(mainQueueTasks >= 2, count, tasks), std::tuple(true, 2u, 2u));
}

using ManagedObjectFetcherTest = StackFixture;

TEST_F(ManagedObjectFetcherTest, ObjectsAndIdsResolveInTheFetchersContext) {
  auto folder = makeFolder("Folder");
  auto first = makeTask("First", folder, 0);
  auto second = makeTask("Second", folder, 1);
  save();
  auto fresh = makeTask("New");
  ASSERT_TRUE(fresh->objectID().isTemporaryID());
  auto fetched = ManagedObjectFetcher(stack->viewContext()).fetchObject(fresh);
  EXPECT_EQ(fetched, fresh) << "the view context's own object";
  EXPECT_FALSE(fetched->objectID().isTemporaryID()) << "a new object gets its permanent identity";

  auto other = stack->privateContext();
  other->performAndWait([&] {
    ManagedObjectFetcher fetcher(other);
    auto seen = fetcher.fetchObject(first);
    EXPECT_NE(seen, first) << "an object of the other context";
    EXPECT_EQ(seen->managedObjectContext(), other.get());
    EXPECT_EQ(seen->name(), "First");
    auto byIds = fetcher.fetchObjects<Task>(std::vector<ObjectID>{second->objectID(), first->objectID()});
    ASSERT_EQ(byIds.size(), 2u);
    EXPECT_EQ(byIds[0]->name() + byIds[1]->name(), "SecondFirst");
    EXPECT_EQ(fetcher.fetchObjects<Node>(std::vector<std::shared_ptr<Task>>{first}).front()->name(), "First");
  });
}

}  // namespace
}  // namespace chronelle::testing
