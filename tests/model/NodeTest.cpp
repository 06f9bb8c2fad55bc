#include <gtest/gtest.h>

#include <unordered_set>

#include "ModelTestSupport.h"
#include "chronelle/model/FlatNodeStuctureItem.h"
#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/platform/Localizer.h"
#include "chronelle/store/StoreError.h"

namespace chronelle::testing {
namespace {

// A node's own billing settings; absent means "not set on this node".
struct Own {
  std::optional<bool> billable = std::nullopt;
  std::optional<double> rate = std::nullopt;
  // With `billable` absent: the raw flag stored anyway (meaningful only at the top).
  bool storedFlag = false;
};

void applyOwn(Node& node, const Own& own) {
  node.setIsBillableSet(own.billable.has_value());
  node.setIsBillable(own.billable.value_or(own.storedFlag));
  node.setHourlyRateIsSet(own.rate.has_value());
  node.setHourlyRate(own.rate.value_or(999));  // a stale rate must not leak through
}

// A store with the folders top and top/middle and the task top/middle/task.
class NodeTest : public ::testing::Test {
 protected:
  ModelStore store;
  std::shared_ptr<Folder> top = store.folder("top"), middle = store.folder("middle", top);
  std::shared_ptr<Task> task = store.task("task", middle);
};

TEST_F(NodeTest, BillingSettingsInheritDownTheChain) {
  using O = Node::BillingOption;
  struct Case {
    const char* label;
    Own top, middle, task;
    double rate;
    bool billable;
    const char* option;     // description key of the task's billing option
    const char* topOption;  // and of the top's: its raw flag, even when not set
  } cases[] = {
      {"only the top has a rate", {true, 80}, {}, {}, 80, true, "Billable (inherited)", "Billable"},
      {"no rate anywhere", {}, {}, {}, 0, false, "Non-Billable (inherited)", "Non-Billable"},
      {"middle overrides the top", {true, 80}, {false, 40}, {}, 40, false,
       "Non-Billable (inherited)", "Billable"},
      {"task's own setting wins", {false, 80}, {}, {true, 120}, 120, true,
       "Billable", "Non-Billable"},
      {"task's own non-billable", {true}, {true}, {false}, 0, false, "Non-Billable", "Billable"},
      {"raw flag of an unset top is ignored", {std::nullopt, std::nullopt, true}, {}, {}, 0, false,
       "Non-Billable (inherited)", "Billable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    applyOwn(*top, c.top);
    applyOwn(*middle, c.middle);
    applyOwn(*task, c.task);
    EXPECT_EQ(std::tuple(task->effectiveHourlyRate(), task->effectiveIsBillable(),
                         std::string(task->billingOption().descriptionKey()),
                         std::string(top->billingOption().descriptionKey())),
              std::tuple(c.rate, c.billable, c.option, c.topOption));
    // The choices offered: inheriting the parent's effective flag (nothing at the top), or own.
    EXPECT_EQ(top->billingCases(),
              (std::vector{O::inherited(false), O::billable(), O::nonBillable()}));
    EXPECT_EQ(task->billingCases().front(), O::inherited(middle->effectiveIsBillable()));
  }
  EXPECT_NE(O::inherited(true), O::inherited(false));
  Localizer::setTable({{"Billable (inherited)", "Abrechenbar (geerbt)"}});
  EXPECT_EQ(O::inherited(true).description(), "Abrechenbar (geerbt)");
  Localizer::reset();
}

TEST_F(NodeTest, ColourComesFromThePaletteWithRedForUnknownIds) {
  int told = 0;
  auto token = task->observe("color", [&](const ObservedChange&) { ++told; });
  task->setColorId(99);
  EXPECT_EQ(task->color(), store.palette->colorSet(ColorSet::ID::red).baseColor());
  task->setColorId(ColorSet::rawValue(ColorSet::ID::teal));
  EXPECT_EQ(task->colorSet().id(), ColorSet::ID::teal);
  EXPECT_EQ(told, 2);
}

TEST_F(NodeTest, RunningEntryCountsInEveryAncestorWhileMarked) {
  auto other = store.task("other", top);
  const std::vector<std::shared_ptr<Node>> all{top, middle, task, other};
  for (const auto& n : all) n->setConfirmedDuration(100);
  auto running = store.session(task, store.time.now() - 90);
  store.timer->entry = running;
  auto state = [&] {  // "running mark:effective duration" of top, middle, task, other
    std::string text;
    for (const auto& n : all) text += std::to_string(n->hasRunningSession()) + ":" + std::to_string(int(n->effectiveDuration())) + " ";
    return text;
  };

  int topAnnouncements = 0;
  auto token = top->observe("effectiveDuration", [&](const ObservedChange&) { ++topAnnouncements; });
  EXPECT_EQ(state(), "0:100 0:100 0:100 0:100 ");  // not marked yet
  task->setHasRunningTimeEntry(true);
  EXPECT_GT(topAnnouncements, 0);
  EXPECT_EQ(state(), "1:190 1:190 1:190 0:100 ");

  store.time.advance(10);
  topAnnouncements = 0;
  running->updateEffectiveDuration();  // the timer's tick
  EXPECT_EQ(topAnnouncements, 1);
  EXPECT_EQ(top->effectiveDuration(), 200);

  store.timer->entry = nullptr;  // the timer stopped: only confirmed time counts
  EXPECT_EQ(task->effectiveDuration(), 100);
  task->setHasRunningTimeEntry(false);
  EXPECT_FALSE(top->hasRunningSession());

  // Registered as "no timer": a running entry adds nothing either.
  store.services.registerInstance(std::shared_ptr<CurrentTimeEntrySource>());
  auto alone = store.task("alone");
  store.timer->entry = store.session(alone, store.time.now() - 600);
  alone->setHasRunningTimeEntry(true);
  EXPECT_EQ(alone->effectiveDuration(), 0);
}

TEST_F(NodeTest, HierarchyKeysChainParentKeysAndStayCachedUntilUpdated) {
  const std::string topKey = top->hierarchyKey();
  EXPECT_EQ(task->hierarchyKey(), topKey + ":" + middle->objectID().uriRepresentation() + ":" +
                                      task->objectID().uriRepresentation());
  store.context->save();  // IDs become permanent; cached keys keep the temporary URIs
  EXPECT_EQ(top->hierarchyKey(), topKey);
  top->updateHierarchyKey();
  EXPECT_EQ(top->hierarchyKey(), ":" + top->objectID().uriRepresentation());
  EXPECT_EQ(task->hierarchyKey().rfind(topKey, 0), 0u);  // children keep theirs
}

TEST_F(NodeTest, ChildListsAreOrderedStablyAndSkipEmptyFolders) {
  auto root = store.folder("root");
  auto empty = store.folder("empty", root);
  auto filled = store.folder("filled", root);
  store.task("inside", filled);
  auto a = store.task("a", root), b = store.task("b", root);
  empty->setOrder(0), filled->setOrder(2), a->setOrder(1), b->setOrder(1);
  auto onlyEmpty = store.folder("onlyEmpty");
  store.folder("hollow", onlyEmpty);
  auto names = [](const std::vector<std::shared_ptr<Node>>& nodes) {
    std::string text;
    for (const auto& n : nodes) text += n->name() + " ";
    return text;
  };
  EXPECT_EQ(names(root->childrenArray()) + "| " + names(root->notEmptyChildren()), "empty a b filled | a b filled ");
  EXPECT_TRUE(empty->notEmptyChildren().empty() && onlyEmpty->notEmptyChildren().empty());

  b->setArchived(true);
  EXPECT_EQ(root->childrenWithSameArchivedState(), (NodeSet{empty, filled, a}));
  root->setArchived(true);
  EXPECT_EQ(root->childrenWithSameArchivedState(), NodeSet{b});
  int told = 0;
  auto token = root->observe("childrenWithSameArchivedState", [&](const ObservedChange&) { ++told; });
  store.task("late", root);
  EXPECT_GT(told, 0);
}

TEST_F(NodeTest, AncestryComparesObjectIDsAndNeverLoops) {
  auto stranger = store.task("stranger");
  EXPECT_EQ(task->allParents(), (std::vector<std::shared_ptr<Node>>{middle, top}));
  // task<top, top>task, top<task, task<task, stranger<top, stranger>task
  EXPECT_EQ(std::vector({task->isChild(*top), top->isParent(*task), top->isChild(*task), task->isChild(*task),
                         stranger->isChild(*top), stranger->isParent(*task)}),
            std::vector({true, true, false, false, false, false}));

  // A folder that is its own parent ends the walk where it starts.
  middle->setParent(middle);
  EXPECT_EQ(task->allParents(), std::vector<std::shared_ptr<Node>>{middle});
  EXPECT_TRUE(middle->allParents().empty());
  EXPECT_FALSE(middle->isChild(*middle));
  EXPECT_EQ(task->effectiveHourlyRate(), 0);
}

TEST_F(NodeTest, BlankNamesFailValidationWithTheMandatoryPropertyError) {
  for (const Value& name : {Value("a"), Value("  a \n")}) EXPECT_NO_THROW(task->validateValue("name", name));
  for (const Value& name :
       {Value("   "), Value(""), Value("\t\n\r"), Value("\u00A0\u3000"), Value(), Value(42)}) {
    SCOPED_TRACE(name.description());
    try {
      task->validateValue("name", name);
      ADD_FAILURE() << "accepted";
    } catch (const StoreError& error) {
      const auto& info = error.userInfo();
      EXPECT_EQ(error.domain() + " " + std::to_string(error.code()) + " " +
                    std::any_cast<std::string>(info.at(StoreError::kValidationKeyKey)),
                "NSCocoaErrorDomain 1570 name");
      EXPECT_EQ(std::any_cast<std::shared_ptr<ManagedObject>>(info.at(StoreError::kValidationObjectKey)), task);
    }
  }
  EXPECT_NO_THROW(task->validateValue("order", Value()));  // other keys are not checked here
}

TEST_F(NodeTest, CollectionsAreClassifiedAndTasksCollectedOnce) {
  auto t1 = store.task("t1", top);
  auto t3 = store.task("t3");
  using V = std::vector<std::shared_ptr<Node>>;
  const struct {
    const char* label;
    V nodes;
    Node::CollectionType type;
  } cases[] = {
      {"nothing", {}, Node::CollectionType::none},
      {"one folder", {top}, Node::CollectionType::folder},
      {"two folders", {top, middle}, Node::CollectionType::folders},
      {"one task", {t1}, Node::CollectionType::task},
      {"three tasks", {t1, task, t3}, Node::CollectionType::tasks},
      {"folder and task", {middle, t3}, Node::CollectionType::mixed},
  };
  for (const auto& c : cases) EXPECT_EQ(Node::nodeTypesIn(c.nodes), c.type) << c.label;
  EXPECT_TRUE(Node::listContainsOnly<Task>(V{t1, task}));
  EXPECT_FALSE(Node::listContainsOnly<Task>(V{t1, middle}));

  EXPECT_EQ(top->allTasks(), (TaskSet{t1, task}));
  EXPECT_EQ(top->allChildren(), (NodeSet{middle, t1, task}));
  EXPECT_TRUE(store.folder("bare")->allTasks().empty());
  EXPECT_EQ(toTaskSet(NodeSet{top, task, t3}), (TaskSet{t1, task, t3}));

  // Rows of the flat listing are the same row whatever their level or expansion.
  const FlatNodeStuctureItem deep{3, t1, true}, shallow{0, t1, false}, other{3, top, true};
  EXPECT_TRUE(deep == shallow && deep != other);
  EXPECT_EQ((std::unordered_set<FlatNodeStuctureItem>{deep, shallow, other}.size()), 2u);
}

}  // namespace
}  // namespace chronelle::testing
