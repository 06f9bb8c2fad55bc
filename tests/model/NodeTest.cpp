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

TEST(NodeTest, BillingSettingsInheritDownTheChain) {
  struct Case {
    const char* label;
    Own top, middle, task;
    double rate;
    bool billable;
    const char* option;  // description key of the task's billing option
  } cases[] = {
      {"only the top has a rate", {true, 80}, {}, {}, 80, true, "Billable (inherited)"},
      {"no rate anywhere", {}, {}, {}, 0, false, "Non-Billable (inherited)"},
      {"middle overrides the top", {true, 80}, {false, 40}, {}, 40, false, "Non-Billable (inherited)"},
      {"task's own setting wins", {false, 80}, {}, {true, 120}, 120, true, "Billable"},
      {"task's own non-billable", {true}, {true}, {false}, 0, false, "Non-Billable"},
      {"raw flag of an unset top is ignored", {std::nullopt, std::nullopt, true}, {}, {}, 0, false,
       "Non-Billable (inherited)"},
  };
  ModelStore store;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    auto top = store.folder("top");
    auto middle = store.folder("middle", top);
    auto task = store.task("task", middle);
    applyOwn(*top, c.top);
    applyOwn(*middle, c.middle);
    applyOwn(*task, c.task);
    EXPECT_EQ(task->effectiveHourlyRate(), c.rate);
    EXPECT_EQ(task->effectiveIsBillable(), c.billable);
    EXPECT_EQ(std::string(task->billingOption().descriptionKey()), c.option);
  }
}

TEST(NodeTest, TopLevelBillingOptionFollowsTheRawFlagButEffectiveFlagDoesNot) {
  ModelStore store;
  auto top = store.folder("top");
  top->setIsBillableSet(false), top->setIsBillable(true);
  EXPECT_EQ(top->billingOption(), Node::BillingOption::billable());
  EXPECT_FALSE(top->effectiveIsBillable());
  EXPECT_EQ(top->billingCases(), (std::vector{Node::BillingOption::inherited(false), Node::BillingOption::billable(),
                                              Node::BillingOption::nonBillable()}));
  auto task = store.task("task", top);
  top->setIsBillableSet(true);
  EXPECT_EQ(task->billingCases().front(), Node::BillingOption::inherited(true));
  EXPECT_NE(task->billingOption(), Node::BillingOption::inherited(false));
  Localizer::setTable({{"Billable (inherited)", "Abrechenbar (geerbt)"}});
  EXPECT_EQ(task->billingOption().description(), "Abrechenbar (geerbt)");
  Localizer::reset();
}

TEST(NodeTest, ColourComesFromThePaletteWithRedForUnknownIds) {
  ModelStore store;
  auto task = store.task("t");
  int told = 0;
  auto token = task->observe("color", [&](const ObservedChange&) { ++told; });
  task->setColorId(99);
  EXPECT_EQ(task->color(), store.palette->colorSet(ColorSet::ID::red).baseColor());
  task->setColorId(ColorSet::rawValue(ColorSet::ID::teal));
  EXPECT_EQ(task->colorSet().id(), ColorSet::ID::teal);
  EXPECT_EQ(told, 2);
}

TEST(NodeTest, RunningEntryCountsInEveryAncestorWhileMarked) {
  ModelStore store;
  auto top = store.folder("top");
  auto middle = store.folder("middle", top);
  auto task = store.task("task", middle);
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
}

TEST(NodeTest, RunningTimeNeedsARegisteredTimer) {
  ModelStore store(/*withTimer=*/false);
  auto task = store.task("task");
  task->setConfirmedDuration(30);
  store.session(task, store.time.now() - 600);
  task->setHasRunningTimeEntry(true);
  EXPECT_EQ(task->effectiveDuration(), 30);  // registered as "no timer": confirmed time only
}

TEST(NodeTest, HierarchyKeysChainParentKeysAndStayCachedUntilUpdated) {
  ModelStore store;
  auto top = store.folder("top");
  auto child = store.folder("child", top);
  auto leaf = store.task("leaf", child);
  const std::string topKey = top->hierarchyKey();
  EXPECT_EQ(leaf->hierarchyKey(), topKey + ":" + child->objectID().uriRepresentation() + ":" +
                                      leaf->objectID().uriRepresentation());
  store.context->save();  // IDs become permanent; cached keys keep the temporary URIs
  EXPECT_EQ(top->hierarchyKey(), topKey);
  top->updateHierarchyKey();
  EXPECT_EQ(top->hierarchyKey(), ":" + top->objectID().uriRepresentation());
  EXPECT_NE(top->hierarchyKey(), topKey);
  EXPECT_EQ(leaf->hierarchyKey().rfind(topKey, 0), 0u);  // children keep theirs
}

TEST(NodeTest, ChildListsAreOrderedStablyAndSkipEmptyFolders) {
  ModelStore store;
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
  EXPECT_EQ(root->isArchivedString(), "true");
  int told = 0;
  auto token = root->observe("childrenWithSameArchivedState", [&](const ObservedChange&) { ++told; });
  store.task("late", root);
  EXPECT_GT(told, 0);
}

TEST(NodeTest, AncestryComparesObjectIDsAndNeverLoops) {
  ModelStore store;
  auto top = store.folder("top");
  auto middle = store.folder("middle", top);
  auto leaf = store.task("leaf", middle);
  auto stranger = store.task("stranger");
  EXPECT_EQ(leaf->allParents(), (std::vector<std::shared_ptr<Node>>{middle, top}));
  EXPECT_TRUE(top->allParents().empty());
  // leaf<top, top>leaf, top<leaf, leaf<leaf, stranger<top, stranger>leaf
  EXPECT_EQ(std::vector({leaf->isChild(*top), top->isParent(*leaf), top->isChild(*leaf), leaf->isChild(*leaf),
                         stranger->isChild(*top), stranger->isParent(*leaf)}),
            std::vector({true, true, false, false, false, false}));

  // A folder that is its own parent ends the walk where it starts.
  middle->setParent(middle);
  EXPECT_EQ(leaf->allParents(), std::vector<std::shared_ptr<Node>>{middle});
  EXPECT_TRUE(middle->allParents().empty());
  EXPECT_FALSE(middle->isChild(*middle));
  EXPECT_EQ(leaf->effectiveHourlyRate(), 0);
}

TEST(NodeTest, BlankNamesFailValidationWithTheMandatoryPropertyError) {
  ModelStore store;
  auto task = store.task("ok");
  for (const Value& name : {Value("a"), Value("  a \n")}) EXPECT_NO_THROW(task->validateValue("name", name));
  const std::pair<const char*, Value> blanks[] = {{"three spaces", "   "},  {"empty", ""},
                                                  {"tabs and newlines", "\t\n\r"}, {"no-break spaces", "\u00A0\u3000"},
                                                  {"absent", Value()},        {"not a string", 42}};
  for (const auto& [label, name] : blanks) {
    SCOPED_TRACE(label);
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

TEST(NodeTest, CollectionsAreClassifiedAndTasksCollectedOnce) {
  ModelStore store;
  auto top = store.folder("top");
  auto inner = store.folder("inner", top);
  auto t1 = store.task("t1", top);
  auto t2 = store.task("t2", inner);
  auto t3 = store.task("t3");
  using V = std::vector<std::shared_ptr<Node>>;
  const struct {
    const char* label;
    V nodes;
    Node::CollectionType type;
  } cases[] = {
      {"nothing", {}, Node::CollectionType::none},
      {"one folder", {top}, Node::CollectionType::folder},
      {"two folders", {top, inner}, Node::CollectionType::folders},
      {"one task", {t1}, Node::CollectionType::task},
      {"three tasks", {t1, t2, t3}, Node::CollectionType::tasks},
      {"folder and task", {inner, t3}, Node::CollectionType::mixed},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Node::nodeTypesIn(c.nodes), c.type) << c.label;
  }
  EXPECT_TRUE(Node::listContainsOnly<Task>(V{t1, t2}) && !Node::listContainsOnly<Task>(V{t1, inner}));

  EXPECT_EQ(top->allTasks(), (TaskSet{t1, t2}));
  EXPECT_EQ(top->allChildren(), (NodeSet{inner, t1, t2}));
  EXPECT_TRUE(store.folder("bare")->allTasks().empty());
  const TaskSet tasks = toTaskSet(NodeSet{top, t2, t3});
  EXPECT_EQ(tasks, (TaskSet{t1, t2, t3}));
  EXPECT_EQ(toTaskIdsSet(tasks), (ObjectIDSet{t1->objectID(), t2->objectID(), t3->objectID()}));

  // Rows of the flat listing are the same row whatever their level or expansion.
  const FlatNodeStuctureItem deep{3, t1, true}, shallow{0, t1, false}, other{3, top, true};
  EXPECT_TRUE(deep == shallow && deep != other);
  EXPECT_EQ((std::unordered_set<FlatNodeStuctureItem>{deep, shallow, other}.size()), 2u);
}


}  // namespace
}  // namespace chronelle::testing
