// Undo and redo through the provider: each write is one user step, an undo or redo is saved
// at once (so a relaunch sees it) and is not itself a step, and a change made with
// registration switched off is never undone.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "teststack/ProviderFixture.h"
#include "chronelle/data/NodeChangeKey.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/store/UndoManager.h"

namespace chronelle::testing {
namespace {

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
