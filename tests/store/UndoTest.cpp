// Undo on a real store: the manager's grouping and switches, and a context registering the
// inverse of its changes (attributes, relationships, inserts, deletes with their cascades),
// with saves between the steps and rollback clearing them.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "StoreTestModel.h"
#include "chronelle/store/UndoManager.h"

namespace chronelle::testing {
namespace {

TEST(UndoManager, GroupsStepsAndSwitches) {
  UndoManager undo;
  std::string log;
  // Each action logs its name and registers itself again as its own inverse.
  std::function<std::function<void()>(std::string)> action = [&](std::string text) {
    return std::function<void()>([&, text] {
      log += text;
      undo.registerUndo(action(text));
    });
  };
  // ( begins a group and ) ends it, - disables and + enables registration, a letter
  // registers the action of that name.
  const auto run = [&](const std::string& script) {
    for (const char c : script) {
      switch (c) {
        case '(': undo.beginUndoGrouping(); break;
        case ')': undo.endUndoGrouping(); break;
        case '-': undo.disableUndoRegistration(); break;
        case '+': undo.enableUndoRegistration(); break;
        default: undo.registerUndo(action(std::string(1, c)));
      }
    }
  };
  const auto state = [&] { return log + (undo.canUndo() ? " undo" : "") + (undo.canRedo() ? " redo" : ""); };
  run("(a(b))()--(x)++");  // nested groups fold into one step, an empty one is none
  EXPECT_THROW(run("+"), std::logic_error);
  EXPECT_THROW(run(")"), std::logic_error);
  EXPECT_EQ(state(), " undo");
  undo.undo();  // newest action first
  EXPECT_EQ(state(), "ba redo");
  undo.redo();
  EXPECT_EQ(state(), "baab undo");
  undo.undo();
  EXPECT_EQ(state(), "baabba redo");
  run("(z)");  // a fresh registration outside undo and redo drops the redo step
  EXPECT_EQ(state(), "baabba undo");
  run("(");
  EXPECT_THROW(undo.undo(), std::logic_error);  // a step cannot be undone half-recorded
}

// The store's main context with an undo manager; every change runs as one main-queue task.
struct UndoStore {
  UndoStore() {
    store.context->setUndoManager(std::make_shared<UndoManager>());
    inTask([&] {
      home = store.area("home");
      desk = store.spot("desk", home);
      store.visit(desk, 1);
      store.context->save();
    });
    undo().removeAllActions();  // the set-up is not a step
  }
  UndoManager& undo() { return *store.context->undoManager(); }
  // Undo (or redo) one step and save it, as the application's stack does.
  void step(bool redo = false) {
    inTask([&] {
      redo ? undo().redo() : undo().undo();
      undo().disableUndoRegistration();
      store.context->save();
      undo().enableUndoRegistration();
    });
  }
  // What the store holds, read by a fresh context: "area: places; spot(tally...)".
  std::string stored() {
    auto reader = store.newContext(ConcurrencyType::mainQueue);
    FetchRequest areas("Area");
    areas.sortDescriptors = {{"name", true}};
    std::string text;
    for (const auto& area : reader->fetch(areas)) {
      text += (text.empty() ? "" : " ") + *area->value("name").asString() + ":";
      for (const auto& place : area->objects("places")) {
        text += " " + *place->value("name").asString();
        if (place->entity().name() != "Spot") continue;
        for (const auto& visit : place->objects("visits")) text += "(" + visit->value("tally").description() + ")";
      }
      text += ";";
    }
    return text;
  }

  TestStore store;
  std::shared_ptr<ManagedObject> home, desk;
};

TEST(ContextUndo, UndoesAndRedoesEveryKindOfChangeAcrossSaves) {
  UndoStore s;
  // Four steps, each saved: an insert with a relationship, an attribute edit, a move to
  // another area, and a delete that cascades to the spot's visits.
  std::shared_ptr<ManagedObject> work;
  inTask([&] { work = s.store.area("work"); });
  inTask([&] { s.desk->setValue("name", "table"); });
  inTask([&] { s.desk->setObject("area", work); });
  s.store.context->save();
  inTask([&] { s.store.context->deleteObject(s.home); });
  inTask([&] { s.store.context->deleteObject(s.desk); });
  s.store.context->save();
  ASSERT_EQ(s.stored(), "work:;");

  const std::vector<std::string> undone = {
      "work: table(1);",          // the desk and its visit are back, in the area it was in
      "home:; work: table(1);",   // ...then home
      "home: table(1); work:;",   // ...the move
      "home: desk(1); work:;",    // ...the rename
      "home: desk(1);",           // ...the insert of work
  };
  for (std::size_t i = 0; i < undone.size(); ++i) {
    ASSERT_TRUE(s.undo().canUndo()) << "step " << i;
    s.step();
    EXPECT_EQ(s.stored(), undone[i]) << "undo " << i;
    EXPECT_FALSE(s.store.context->hasChanges());
  }
  EXPECT_FALSE(s.undo().canUndo());
  for (std::size_t i = undone.size() - 1; i > 0; --i) {
    s.step(true);
    EXPECT_EQ(s.stored(), undone[i - 1]) << "redo " << i;
  }
  s.step(true);
  EXPECT_EQ(s.stored(), "work:;");
  EXPECT_FALSE(s.undo().canRedo());

  // Reopened, the store holds the last state; the undone rows came back under their IDs.
  const ObjectID deskId = s.desk->objectID();
  s.step();
  s.store.reopen();
  EXPECT_EQ(s.store.context->existingObject(deskId)->value("name").asString(), "table");
}

TEST(ContextUndo, ChangesOfOneTaskAreOneStepAndRollbackClearsTheSteps) {
  UndoStore s;
  inTask([&] { with(s.desk, {{"name", "a"}, {"rank", 7}}); s.store.spot("lamp", s.home); });
  inTask([&] { s.desk->setValue("name", "b"); });
  s.undo().disableUndoRegistration();
  inTask([&] { s.home->setValue("name", "house"); });  // not registered
  s.undo().enableUndoRegistration();
  s.store.context->save();

  s.step();
  EXPECT_EQ(s.stored(), "house: a(1) lamp;") << "only the second task's rename is undone";
  s.step();
  EXPECT_EQ(s.stored() + s.desk->value("rank").description(), "house: desk(1);0");
  EXPECT_FALSE(s.undo().canUndo());

  inTask([&] { s.desk->setValue("name", "c"); });
  ASSERT_TRUE(s.undo().canUndo());
  s.store.context->rollback();
  EXPECT_FALSE(s.undo().canUndo() || s.undo().canRedo());

  // Undoing a move changes the places of both areas, so both count as changed.
  std::shared_ptr<ManagedObject> work;
  inTask([&] { work = s.store.area("work"); });
  inTask([&] { s.desk->setObject("area", work); });
  s.store.context->save();
  inTask([&] { s.undo().undo(); });
  EXPECT_TRUE(s.home->hasChanges() && work->hasChanges());
}

}  // namespace
}  // namespace chronelle::testing
