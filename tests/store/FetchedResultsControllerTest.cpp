// The fetched-results controller on a real store: the exact batch it reports for each kind
// of change, and, on random batches, that its results always equal a fresh fetch and that
// its reported changes turn the old results into the new ones (which also shows that objects
// outside the results, or inserted and deleted in one batch, are never reported).

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "StoreTestModel.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/FetchedResultsController.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

// Records every call as text ("insert e ->[0, 1]") and every change as data.
class RecordingDelegate final : public FetchedResultsControllerDelegate {
 public:
  struct Change {
    std::shared_ptr<ManagedObject> object;
    std::optional<IndexPath> from, to;
    FetchedResultsChangeType type;
  };

  void controllerWillChangeContent(FetchedResultsController& controller) override {
    calls.push_back("will");
    before = controller.fetchedObjects();
    changes.clear();
  }
  void controllerDidChange(FetchedResultsController&, const std::shared_ptr<ManagedObject>& object,
                           std::optional<IndexPath> from, FetchedResultsChangeType type,
                           std::optional<IndexPath> to) override {
    const Value name = object->value("name");
    calls.push_back(std::string(toString(type)) + " " + name.asString().value_or("?") + " " +
                    (from ? from->description() : "") + "->" + (to ? to->description() : ""));
    changes.push_back({object, from, to, type});
  }
  void controllerDidChangeContent(FetchedResultsController&) override { calls.push_back("did"); }

  std::string take() {
    std::string text;
    for (const auto& call : std::exchange(calls, {})) text += (text.empty() ? "" : " | ") + call;
    return text;
  }

  std::vector<std::string> calls;
  ObjectSet before;
  std::vector<Change> changes;
};

// Open spots sorted by rank (then by the name of their area, which none has), over the store's main context.
struct Fixture {
  Fixture() {
    for (auto [name, rank] : {std::pair{"a", 10}, {"b", 20}, {"c", 30}, {"d", 40}}) spots[name] = makeSpot(name, rank, true);
    spots["x"] = makeSpot("x", 25, false);
    store.context->save();
    controller.setDelegate(&delegate);
    controller.performFetch();
  }
  std::shared_ptr<ManagedObject> makeSpot(const std::string& name, int rank, bool open) {
    return with(store.spot(name), {{"rank", rank}, {"open", open}});
  }
  static FetchRequest request() {
    FetchRequest request("Spot");
    request.predicate = Predicate::parse("open == YES");
    request.sortDescriptors = {{"rank", true}, {"area.name", true}};  // no spot has an area: ties stay
    return request;
  }
  std::vector<std::string> names() const { return TestStore::names(controller.fetchedObjects()); }

  TestStore store;
  std::map<std::string, std::shared_ptr<ManagedObject>> spots;
  RecordingDelegate delegate;
  FetchedResultsController controller{store.context, request()};
};

TEST(FetchedResultsController, ReportsExactlyTheChangesOfOneBatch) {
  struct Case {
    const char* name;
    std::function<void(Fixture&)> change;
    const char* calls;
    std::vector<std::string> results;
  };
  const std::vector<Case> cases = {
      {"insert of a matching object", [](Fixture& f) { f.makeSpot("e", 15, true); },
       "will | insert e ->[0, 1] | did", {"a", "e", "b", "c", "d"}},
      {"delete", [](Fixture& f) { f.store.context->deleteObject(f.spots["b"]); }, "will | remove b [0, 1]-> | did",
       {"a", "c", "d"}},
      {"edit that moves in sort order", [](Fixture& f) { f.spots["a"]->setValue("rank", 35); },
       "will | move a [0, 0]->[0, 2] | did", {"b", "c", "a", "d"}},
      {"edit that keeps the place", [](Fixture& f) { f.spots["b"]->setValue("name", "b2"); },
       "will | update b2 [0, 1]->[0, 1] | did", {"a", "b2", "c", "d"}},
      {"edit of the sort key that keeps the place", [](Fixture& f) { f.spots["b"]->setValue("rank", 21); },
       "will | update b [0, 1]->[0, 1] | did", {"a", "b", "c", "d"}},
      {"edit that stops matching", [](Fixture& f) { f.spots["c"]->setValue("open", false); },
       "will | remove c [0, 2]-> | did", {"a", "b", "d"}},
      {"edit that starts matching", [](Fixture& f) { f.spots["x"]->setValue("open", true); },
       "will | insert x ->[0, 2] | did", {"a", "b", "x", "c", "d"}},
      {"edit of another entity", [](Fixture& f) { f.store.visit(nullptr, 3); }, "", {"a", "b", "c", "d"}},
      {"several changes in one batch",
       [](Fixture& f) {
         f.store.context->deleteObject(f.spots["a"]);
         f.makeSpot("e", 5, true);
         f.spots["d"]->setValue("rank", 1);
       },
       "will | remove a [0, 0]-> | insert e ->[0, 1] | move d [0, 3]->[0, 0] | did", {"d", "e", "b", "c"}},
      {"an update shifted by an insert before it",
       [](Fixture& f) {
         f.spots["c"]->setValue("name", "c2");
         f.makeSpot("e", 5, true);
       },
       "will | insert e ->[0, 0] | update c2 [0, 2]->[0, 3] | did", {"e", "a", "b", "c2", "d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    inTask([&] { c.change(f); });
    EXPECT_EQ(f.delegate.take(), c.calls);
    EXPECT_EQ(f.names(), c.results);
    // A save afterwards changes nothing the controller shows.
    f.store.context->save();
    EXPECT_EQ(f.delegate.take(), "");
    EXPECT_EQ(f.names(), c.results);
  }
}

TEST(FetchedResultsController, FollowsMergedSavesOfAnotherContext) {
  Fixture f;
  f.store.context->setAutomaticallyMergesChangesFromParent(true);
  const ObjectID aId = f.spots["a"]->objectID();
  const ObjectID bId = f.spots["b"]->objectID();
  auto other = f.store.newContext();
  other->performAndWait([&] {
    other->existingObject(aId)->setValue("rank", 50);
    other->deleteObject(other->existingObject(bId));
    insert(*other, "Spot", {{"name", "e"}, {"rank", 12}, {"open", true}});
    other->save();
  });
  EXPECT_EQ(f.delegate.take(), "") << "merged as a task of the main queue";
  MainQueue::shared().runPending();
  EXPECT_EQ(f.delegate.take(), "will | remove ? [0, 1]-> | insert e ->[0, 0] | move a [0, 0]->[0, 3] | did");
  EXPECT_EQ(f.names(), (std::vector<std::string>{"e", "c", "d", "a"}));
  EXPECT_EQ(f.controller.fetchedObjects(), f.store.context->fetch(Fixture::request()));
}

TEST(FetchedResultsController, RollbackTakesBackWhatWasAnnounced) {
  Fixture f;
  inTask([&] {
    f.makeSpot("e", 15, true);
    f.store.context->deleteObject(f.spots["c"]);
    f.spots["a"]->setValue("rank", 35);
  });
  ASSERT_EQ(f.names(), (std::vector<std::string>{"e", "b", "a", "d"}));
  f.delegate.take();
  f.store.context->rollback();
  EXPECT_EQ(f.delegate.take(), "will | remove e [0, 0]-> | insert c ->[0, 2] | move a [0, 2]->[0, 0] | did");
  EXPECT_EQ(f.names(), (std::vector<std::string>{"a", "b", "c", "d"}));

  // A failed save has announced its insert; the rollback after it takes it back.
  f.makeSpot("forbidden", 5, true);
  EXPECT_THROW(f.store.context->save(), StoreError);
  EXPECT_EQ(f.delegate.take(), "will | insert forbidden ->[0, 0] | did");
  f.store.context->rollback();
  EXPECT_EQ(f.delegate.take(), "will | remove forbidden [0, 0]-> | did");
  EXPECT_EQ(f.controller.fetchedObjects(), f.store.context->fetch(Fixture::request()));
}

TEST(FetchedResultsController, RandomBatchesKeepTheResultsAndTheReportedChangesConsistent) {
  Fixture f;
  std::mt19937 random(20261205);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  std::vector<std::shared_ptr<ManagedObject>> all;
  for (auto& [name, spot] : f.spots) all.push_back(spot);
  int created = 0;
  // Beside it, results whose ties in rank a second key decides.
  FetchRequest byRankThenName = Fixture::request();
  byRankThenName.sortDescriptors = {{"rank", true}, {"name", false}};
  FetchedResultsController second(f.store.context, byRankThenName);
  second.performFetch();
  for (int batch = 0; batch < 150; ++batch) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    const ObjectSet before = f.controller.fetchedObjects();
    f.delegate.changes.clear();
    inTask([&] {
      for (int step = pick(4) + 1; step > 0; --step) {
        std::vector<std::shared_ptr<ManagedObject>> live;
        std::ranges::copy_if(all, std::back_inserter(live),
                             [](const auto& s) { return !s->isDeleted() && s->managedObjectContext(); });
        const int operation = live.empty() ? 0 : pick(6);
        const auto& spot = live.empty() ? nullptr : live[static_cast<std::size_t>(pick(static_cast<int>(live.size())))];
        switch (operation) {
          case 0: all.push_back(f.makeSpot("n" + std::to_string(++created), pick(60), pick(3) > 0)); break;
          case 1: f.store.context->deleteObject(spot); break;
          case 2: spot->setValue("open", pick(3) > 0); break;
          case 3: spot->setValue("name", "r" + std::to_string(pick(1000))); break;
          default: spot->setValue("rank", pick(60)); break;
        }
      }
    });
    if (pick(3) == 0) f.store.context->save();
    std::erase_if(all, [](const auto& spot) { return spot->managedObjectContext() == nullptr; });

    const ObjectSet after = f.controller.fetchedObjects();
    ASSERT_EQ(after, f.store.context->fetch(Fixture::request()));
    ASSERT_EQ(second.fetchedObjects(), f.store.context->fetch(byRankThenName));
    if (f.delegate.take().empty()) {
      EXPECT_EQ(before, after);
      continue;
    }
    EXPECT_EQ(f.delegate.before, before);
    // Removes and the old places of moves come out (greatest first), then inserts and the
    // new places of moves go in (smallest first); updates must already be in place.
    ObjectSet replay = before;
    std::vector<std::size_t> out;
    std::vector<std::pair<std::size_t, std::shared_ptr<ManagedObject>>> in;
    for (const auto& c : f.delegate.changes) {
      using enum FetchedResultsChangeType;
      const bool leaves = c.type == remove || c.type == move, enters = c.type == insert || c.type == move;
      ASSERT_EQ(leaves || c.type == update, c.from.has_value());
      ASSERT_EQ(enters || c.type == update, c.to.has_value());
      if (c.from) { ASSERT_EQ(before.at(c.from->item), c.object); }
      if (c.to) { ASSERT_EQ(after.at(c.to->item), c.object); }
      if (leaves) out.push_back(c.from->item);
      if (enters) in.emplace_back(c.to->item, c.object);
    }
    std::ranges::sort(out, std::greater{});
    for (std::size_t index : out) replay.erase(replay.begin() + static_cast<std::ptrdiff_t>(index));
    std::ranges::sort(in, {}, &std::pair<std::size_t, std::shared_ptr<ManagedObject>>::first);
    for (auto& [index, object] : in) replay.insert(replay.begin() + static_cast<std::ptrdiff_t>(index), object);
    EXPECT_EQ(replay, after);
  }
}

}  // namespace
}  // namespace chronelle::testing
