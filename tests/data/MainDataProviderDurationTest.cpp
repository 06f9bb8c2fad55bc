// The stored totals of tasks and folders through the provider: every kind of write leaves
// them equal to the saved entries below, and a check finds (and a repair fixes) totals left
// stale by a crash between a write and its recount.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "teststack/ProviderFixture.h"
#include "chronelle/data/NodeChangeKey.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/store/UndoManager.h"

namespace chronelle::testing {
namespace {

// "name stored→expected" per stale node, in the order reported.
std::string render(const std::vector<StaleConfirmedDuration>& stale) {
  std::string text;
  for (const auto& s : stale) {
    text += (text.empty() ? "" : ", ") + s.node->name() + " " + std::to_string(static_cast<long>(s.stored)) + "→" +
            std::to_string(static_cast<long>(s.expected));
  }
  return text;
}

class MainDataProviderDurationTest : public ProviderFixture {
 protected:
  // Tree: F { G { A }, B }, C at the top level.
  MainDataProviderDurationTest() {
    f = makeFolder("F", nullptr, 0);
    g = makeFolder("G", f, 0);
    a = makeTask("A", g, 0);
    b = makeTask("B", f, 1);
    c = makeTask("C", nullptr, 1);
    save();
    MainQueue::shared().runPending();
  }

  std::shared_ptr<Folder> f, g;
  std::shared_ptr<Task> a, b, c;
};

TEST_F(MainDataProviderDurationTest, ConfirmedDurationsFollowEveryKindOfWrite) {
  std::shared_ptr<Session> e1, e2, e3, copy;
  using Key = TimeEntryChangeKey;
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"create", [&] { e1 = write(provider->createTimeEntry(utc(9) + 0.7, utc(10) + 0.2, a->objectID(), false, {})); }},
      {"create more",
       [&] {
         e2 = write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {}));
         e3 = write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {}));
       }},
      {"create running", [&] { write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {})); }},
      {"re-time", [&] { write(provider->updateTimeEntry(e1->objectID(), {{Key::begin, utc(8, 15)}})); }},
      {"move to top-level task", [&] { write(provider->updateTimeEntry(e1->objectID(), {{Key::taskId, c->objectID()}})); }},
      {"move and re-time into folder",
       [&] { write(provider->updateTimeEntry(e3->objectID(), {{Key::taskId, a->objectID()}, {Key::end, utc(11, 45)}})); }},
      {"re-time several", [&] { write(provider->updateTimeEntries({e2->objectID(), e3->objectID()}, {{Key::end, utc(13)}})); }},
      {"duplicate", [&] { copy = write(provider->duplicateTimeEntry(e2, true)); }},
      {"delete", [&] { write(provider->deleteTimeEntries({e2})); }},
      {"merge",
       [&] {
         write(provider->mergeSessions({*e1->identifier(), *copy->identifier()}, *a->identifier(),
                                       MainDataProvider::SessionMergeType::byPushingSessionsTogether));
       }},
      {"move task out of its folders",
       [&] { write(provider->moveNodes({MoveNodeOption(a->objectID(), std::nullopt, OrderOption::last)})); }},
      {"move task into a folder",
       [&] { write(provider->moveNodes({MoveNodeOption(a->objectID(), g->objectID(), OrderOption::order(0))})); }},
      {"delete task", [&] { write(provider->deleteNodes({b->objectID()})); }},
      {"move folder to the top",
       [&] { write(provider->moveNodes({MoveNodeOption(g->objectID(), std::nullopt, OrderOption::last)})); }},
  };
  for (const auto& [name, run] : steps) {
    run();
    EXPECT_EQ(render(provider->verifyConfirmedDurations()), "") << "after " << name;
    EXPECT_FALSE(context().hasChanges()) << "after " << name;
  }
  // A came back into G with e3 (2 h) and the merged entry (1 h 45 min pushed against 3 h);
  // C lost its only entry to the merge; F lost G.
  EXPECT_DOUBLE_EQ(a->confirmedDuration(), 7200 + 6300 + 10800);
  EXPECT_DOUBLE_EQ(g->confirmedDuration(), a->confirmedDuration());
  EXPECT_DOUBLE_EQ(c->confirmedDuration(), 0);
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 0);

  // Deleting a folder with entries below it recounts its parent.
  write(provider->moveNodes({MoveNodeOption(g->objectID(), f->objectID(), OrderOption::last)}));
  ASSERT_DOUBLE_EQ(f->confirmedDuration(), a->confirmedDuration());
  write(provider->deleteNodes({g->objectID()}));
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 0);
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");
}

TEST_F(MainDataProviderDurationTest, StaleTotalsAreFoundToTheSecondAndRepairedInOneSave) {
  // 1 h on A, 30 min on B, 20 min on C, and a running entry on B that counts for nothing.
  write(provider->createTimeEntry(utc(9), utc(10), a->objectID(), false, {}));
  write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {}));
  write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {}));
  write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {}));
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");

  // Saved the way a crash leaves them: A off by one second, G still holding A's old total,
  // F from nowhere, B and C right.
  a->setConfirmedDuration(3601);
  f->setConfirmedDuration(7);
  save();
  MainQueue::shared().runPending();
  takeEvents();
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "F 7→5400, A 3601→3600");

  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "F 7→5400, A 3601→3600");
  EXPECT_EQ(takeEvents(), "returned | " + changed("[]", R"(["task", "folder"])", "[]")) << "one save, announced once";
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");
  EXPECT_DOUBLE_EQ(f->confirmedDuration(), 5400);
  EXPECT_DOUBLE_EQ(g->confirmedDuration(), 3600);

  // Nothing stale: the repair changes and saves nothing.
  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "");
  EXPECT_EQ(takeEvents(), "returned");
}

// Undo and redo through the provider: each write is one user step, an undo or redo is saved
// at once (so a relaunch sees it) and is not itself a step, and a change made with
// registration switched off is never undone.
class MainDataProviderUndoTest : public ProviderFixture {
 protected:
  MainDataProviderUndoTest() {
    kept = makeTask("A");
    save();
    MainQueue::shared().runPending();
    stack->undoManager()->removeAllActions();  // the set-up is not a step
    events.clear();
  }

  // The tasks as a store opened afresh on the same file holds them, by name:
  // "name(notes)" and, when it has time, ":confirmed duration".
  std::string reopened() const {
    CoreDataStack fresh(stack->modelName(), stack->storeDirectoryURL(), stack->storeName());
    FetchRequest request(Task::kEntityName);
    request.sortDescriptors = {{"name", true}};
    std::string text;
    for (const auto& object : fresh.viewContext()->fetch(request)) {
      auto task = std::dynamic_pointer_cast<Task>(object);
      text += (text.empty() ? "" : " ") + task->name() + "(" + task->notes().value_or("") + ")";
      if (task->confirmedDuration() != 0) text += ":" + std::to_string(static_cast<long>(task->confirmedDuration()));
    }
    return text;
  }

  void undo() {
    provider->undo();
    MainQueue::shared().runPending();
  }
  void redo() {
    provider->redo();
    MainQueue::shared().runPending();
  }

  std::shared_ptr<Task> kept;
};

TEST_F(MainDataProviderUndoTest, EachWriteIsOneStepAndUndoIsSavedAtOnce) {
  using Key = NodeChangeKey;
  auto created = write(provider->createTask({{Key::name, std::string("B")}}));
  write(provider->updateNode(created->objectID(), {{Key::name, std::string("B2")}, {Key::notes, std::string("n")}}));
  write(provider->deleteNodes({kept->objectID()}));
  ASSERT_EQ(reopened(), "B2(n)");

  undo();  // the deletion: the task is back under its ID
  EXPECT_EQ(reopened(), "A() B2(n)");
  EXPECT_FALSE(context().hasChanges());
  EXPECT_EQ(context().existingObject(kept->objectID()), kept);
  undo();  // the edit
  EXPECT_EQ(reopened(), "A() B()");
  redo();  // the edit again
  EXPECT_EQ(reopened(), "A() B2(n)");
  EXPECT_TRUE(stack->undoManager()->canRedo());  // the deletion
  EXPECT_TRUE(stack->undoManager()->canUndo());  // the edit and the creation
}

// The recount of confirmed durations that follows an entry write is not a step of its own:
// one undo takes back the write and its totals, as a relaunch sees them.
TEST_F(MainDataProviderUndoTest, UndoingAnEntryWriteTakesItsTotalsAlong) {
  const Date nine = Date::fromSecondsSince1970(1'780'000'000);
  auto entry = write(provider->createTimeEntry(nine, nine + 3600.0, kept->objectID(), false, std::nullopt));
  write(provider->updateTimeEntry(entry->objectID(), {{TimeEntryChangeKey::end, nine + 5400.0}}));
  ASSERT_EQ(reopened(), "A():5400");

  undo();  // the re-timing
  EXPECT_EQ(reopened(), "A():3600");
  undo();  // the creation
  EXPECT_EQ(reopened(), "A()");
  EXPECT_FALSE(stack->undoManager()->canUndo());
  redo();
  EXPECT_EQ(reopened(), "A():3600");
}

TEST_F(MainDataProviderUndoTest, ChangesMadeWithRegistrationOffAreLeftOut) {
  using Key = NodeChangeKey;
  write(provider->updateNode(kept->objectID(), {{Key::notes, std::string("step")}}));
  provider->disableUndoRegistration();
  write(provider->updateNode(kept->objectID(), {{Key::name, std::string("Renamed")}}));
  provider->enableUndoRegistration();

  undo();  // the notes; the name stays
  EXPECT_EQ(reopened(), "Renamed()");
  EXPECT_FALSE(stack->undoManager()->canUndo());
  EXPECT_THROW(provider->enableUndoRegistration(), std::logic_error);
}

}  // namespace
}  // namespace chronelle::testing
