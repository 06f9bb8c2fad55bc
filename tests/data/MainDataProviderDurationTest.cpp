// The stored totals of tasks and folders through the provider: every kind of write leaves
// them equal to the saved entries below, and a check finds (and a repair fixes) totals left
// stale by a crash between a write and its recount.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>

#include "teststack/ProviderFixture.h"
#include "chronelle/data/NodeChangeKey.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/BrowserALEntry.h"
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

// Every kind of write: it returns, then one change notification names the kinds it saved (none
// when it changed nothing), and the stored totals equal the saved entries below.
TEST_F(MainDataProviderDurationTest, EveryKindOfWriteIsAnnouncedOnceAndKeepsTheTotals) {
  auto log = context().insert<ALEntry>(ALEntry::kEntityName);
  log->setBegin(utc(8));
  context().insert<ALEntry>(BrowserALEntry::kEntityName)->setBegin(utc(8));
  save();
  MainQueue::shared().runPending();
  std::shared_ptr<Session> e1, e2, e3, copy;
  using Key = TimeEntryChangeKey;
  const std::string none = "[]", session = R"(["session"])", task = R"(["task"])", folder = R"(["folder"])",
                    taskAndFolder = R"(["task", "folder"])", sessionAndTask = R"(["session", "task"])";
  const auto move = [&](const std::shared_ptr<Node>& node, const std::shared_ptr<Folder>& to, OrderOption order) {
    write(provider->moveNodes({MoveNodeOption(node->objectID(), to ? std::optional(to->objectID()) : std::nullopt, order)}));
  };
  const std::tuple<const char*, std::function<void()>, std::string> steps[] = {
      {"create task in folder",
       [&] { write(provider->createTask({{NodeChangeKey::name, std::string("T")}, {NodeChangeKey::parentId, f->objectID()}})); },
       changed(task, folder, none)},
      {"create", [&] { e1 = write(provider->createTimeEntry(utc(9) + 0.7, utc(10) + 0.2, a->objectID(), false, {})); },
       changed(session, task, none)},
      {"create on B", [&] { e2 = write(provider->createTimeEntry(utc(10), utc(10, 30), b->objectID(), false, {})); },
       changed(session, task, none)},
      {"create on C", [&] { e3 = write(provider->createTimeEntry(utc(11), utc(11, 20), c->objectID(), false, {})); },
       changed(session, task, none)},
      {"create running", [&] { write(provider->createTimeEntry(utc(12), std::nullopt, b->objectID(), false, {})); },
       changed(session, task, none)},
      {"re-time", [&] { write(provider->updateTimeEntry(e1->objectID(), {{Key::begin, utc(8, 15)}})); },
       changed(none, session, none)},
      {"move to top-level task", [&] { write(provider->updateTimeEntry(e1->objectID(), {{Key::taskId, c->objectID()}})); },
       changed(none, sessionAndTask, none)},
      {"move and re-time into folder",
       [&] { write(provider->updateTimeEntry(e3->objectID(), {{Key::taskId, a->objectID()}, {Key::end, utc(11, 45)}})); },
       changed(none, sessionAndTask, none)},
      {"re-time several", [&] { write(provider->updateTimeEntries({e2->objectID(), e3->objectID()}, {{Key::end, utc(13)}})); },
       changed(none, session, none)},
      {"write without changes", [&] { write(provider->updateTimeEntries({}, {{Key::end, utc(9)}})); }, ""},
      {"duplicate", [&] { copy = write(provider->duplicateTimeEntry(e2, true)); }, changed(session, task, none)},
      {"delete", [&] { write(provider->deleteTimeEntries({e2})); }, changed(none, task, session)},
      {"merge",
       [&] {
         write(provider->mergeSessions({*e1->identifier(), *copy->identifier()}, *a->identifier(),
                                       MainDataProvider::SessionMergeType::byPushingSessionsTogether));
       },
       changed(session, task, session)},
      {"move task out of its folders", [&] { move(a, nullptr, OrderOption::last); }, changed(none, taskAndFolder, none)},
      {"move task into a folder", [&] { move(a, g, OrderOption::order(0)); }, changed(none, taskAndFolder, none)},
      {"delete task", [&] { write(provider->deleteNodes({b->objectID()})); }, changed(none, folder, R"(["session", "task"])")},
      // The task inside the moved folder is updated too: its place in the tree changed.
      {"move folder to the top", [&] { move(g, nullptr, OrderOption::last); }, changed(none, taskAndFolder, none)},
      {"rename folder", [&] { write(provider->updateNode(f->objectID(), {{NodeChangeKey::name, std::string("E")}})); },
       changed(none, folder, none)},
      {"sort the top level", [&] { write(provider->sortNodesByName(std::nullopt)); }, changed(none, taskAndFolder, none)},
      // What is no log entry is skipped.
      {"delete a log", [&] { write(provider->deleteActivityLogs({a->objectID(), log->objectID()})); },
       changed(none, none, R"(["alEntry"])")},
      {"delete all logs", [&] { write(provider->deleteAllActivityLogs()); }, changed(none, none, R"(["alEntry"])")},
      {"delete all logs again", [&] { write(provider->deleteAllActivityLogs()); }, ""},
  };
  takeEvents();
  for (const auto& [name, run, announced] : steps) {
    run();
    EXPECT_EQ(takeEvents(), "returned" + (announced.empty() ? "" : " | " + announced)) << "after " << name;
    EXPECT_EQ(render(provider->verifyConfirmedDurations()), "") << "after " << name;
    EXPECT_FALSE(context().hasChanges()) << "after " << name;
  }
  EXPECT_TRUE(provider->getActivityLogs(std::nullopt, std::nullopt).empty());
  EXPECT_EQ(names(topLevel(false)), "C E G") << "the active nodes were sorted";
  // A came back into G with e3 (2 h) and the merged entry (1 h 45 min pushed against 3 h);
  // C lost its only entry to the merge; F lost G.
  EXPECT_EQ(std::tuple(a->confirmedDuration(), g->confirmedDuration(), c->confirmedDuration(),
                       f->confirmedDuration()),
            std::tuple(7200.0 + 6300 + 10800, 7200.0 + 6300 + 10800, 0.0, 0.0));

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
  saveAndSettle();
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "F 7→5400, A 3601→3600");

  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "F 7→5400, A 3601→3600");
  EXPECT_EQ(takeEvents(), "returned | " + changed("[]", R"(["task", "folder"])", "[]")) << "one save, announced once";
  EXPECT_EQ(render(provider->verifyConfirmedDurations()), "");
  EXPECT_EQ(std::tuple(f->confirmedDuration(), g->confirmedDuration()), std::tuple(5400.0, 3600.0));

  // Nothing stale: the repair changes and saves nothing.
  EXPECT_EQ(render(write(provider->repairConfirmedDurations())), "");
  EXPECT_EQ(takeEvents(), "returned");
}

// Undo and redo through the provider, as a store opened afresh on the same file sees them.
class MainDataProviderUndoTest : public ProviderFixture {
 protected:
  MainDataProviderUndoTest() {
    kept = makeTask("A");
    save();
    MainQueue::shared().runPending();
    stack->undoManager()->removeAllActions();  // the set-up is not a step
  }

  // The tasks of a fresh store on the same file by name, "name(notes)" and, when it has
  // time, ":confirmed duration"; then whether there is something to undo and to redo.
  std::string reopened() const {
    CoreDataStack fresh(stack->modelName(), stack->storeDirectoryURL(), stack->storeName());
    FetchRequest request(Task::kEntityName);
    request.sortDescriptors = {{"name", true}};
    std::string text;
    for (const auto& object : fresh.viewContext()->fetch(request)) {
      auto task = std::dynamic_pointer_cast<Task>(object);
      const auto seconds = static_cast<long>(task->confirmedDuration());
      text += task->name() + "(" + task->notes().value_or("") + ")" +
              (seconds ? ":" + std::to_string(seconds) : "") + " ";
    }
    const auto& steps = *stack->undoManager();
    return text + "|" + (steps.canUndo() ? " undo" : "") + (steps.canRedo() ? " redo" : "");
  }

  std::shared_ptr<Task> kept;
};

// Each write is one step, an entry write with the recount of its totals; an undo or redo is
// saved at once and is no step of its own; a change made with registration off is never
// undone.
TEST_F(MainDataProviderUndoTest, EachWriteIsOneStepAndUndoIsSavedAtOnce) {
  using Key = NodeChangeKey;
  const ObjectID id = kept->objectID();
  std::shared_ptr<Session> entry;
  const auto undo = [&] { provider->undo(), MainQueue::shared().runPending(); };
  const auto redo = [&] { provider->redo(), MainQueue::shared().runPending(); };
  const auto addNotes = [&] { write(provider->updateNode(id, {{Key::notes, std::string("n")}})); };
  const auto renameQuietly = [&] {
    provider->disableUndoRegistration();
    write(provider->updateNode(id, {{Key::name, std::string("Renamed")}}));
    provider->enableUndoRegistration();
  };
  const auto book = [&] {
    entry = write(provider->createTimeEntry(utc(9), utc(10), id, false, {}));
  };
  const auto retime = [&] {
    write(provider->updateTimeEntry(entry->objectID(), {{TimeEntryChangeKey::end, utc(10, 30)}}));
  };
  const auto remove = [&] { write(provider->deleteNodes({id})); };
  const std::pair<std::function<void()>, std::string> script[] = {
      {addNotes, "A(n) | undo"},          {renameQuietly, "Renamed(n) | undo"},
      {undo, "Renamed() | redo"},         {book, "Renamed():3600 | undo"},
      {retime, "Renamed():5400 | undo"},  {undo, "Renamed():3600 | undo redo"},
      {remove, "| undo"},                 {undo, "Renamed():3600 | undo redo"},
      {undo, "Renamed() | redo"},         {redo, "Renamed():3600 | undo redo"},
  };
  for (std::size_t step = 0; step < std::size(script); ++step) {
    script[step].first();
    EXPECT_EQ(reopened(), script[step].second) << "step " << step;
    EXPECT_FALSE(context().hasChanges()) << "step " << step;
  }
  EXPECT_EQ(context().existingObject(id), kept) << "the deleted task came back under its ID";
  EXPECT_THROW(provider->enableUndoRegistration(), std::logic_error) << "not switched off";
}

}  // namespace
}  // namespace chronelle::testing
