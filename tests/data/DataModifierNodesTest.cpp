#include <sstream>
#include <string>
#include <system_error>
#include <tuple>

#include "DataModifierFixture.h"
#include "chronelle/platform/NotificationCenter.h"

namespace chronelle::testing {
namespace {

using Key = NodeChangeKey;

class DataModifierNodesTest : public DataModifierFixture {
 protected:
  void makeBillable(Node& node, bool billable, std::optional<double> rate) {
    node.setIsBillableSet(true), node.setIsBillable(billable);
    node.setHourlyRateIsSet(rate.has_value()), node.setHourlyRate(rate.value_or(0));
  }
};

TEST_F(DataModifierNodesTest, MovesWithinOneFolder) {
  const struct {
    std::vector<int> orders;  // stored orders of A B C D
    char node;
    OrderOption order;
    std::string expected;
  } cases[] = {
      {{0, 1, 2, 3}, 'A', OrderOption::order(2), "B=0 A=1 C=2 D=3"},
      {{0, 1, 2, 3}, 'A', OrderOption::last, "B=0 C=1 D=2 A=3"},
      {{0, 1, 2, 3}, 'C', OrderOption::order(0), "C=0 A=1 B=2 D=3"},
      {{0, 1, 2, 3}, 'B', OrderOption::order(3), "A=0 C=1 B=2 D=3"},
      {{0, 1, 2, 3}, 'D', OrderOption::last, "A=0 B=1 C=2 D=3"},
      {{0, 2, 5, 9}, 'D', OrderOption::last, "A=0 B=1 C=2 D=3"},
  };
  for (const auto& c : cases) {
    auto folder = makeFolder("F");
    std::vector<std::shared_ptr<Task>> tasks;
    for (int i = 0; i < 4; ++i) tasks.push_back(makeTask(std::string(1, char('A' + i)), folder, c.orders[i]));
    modifier.updateNode(*tasks[c.node - 'A'], folder->objectID(), c.order);
    EXPECT_EQ(layout(folder->childrenArray()), c.expected) << "moved " << c.node;
  }

  // Already in place: nothing is written at all.
  auto folder = makeFolder("G");
  auto a = makeTask("A", folder, 0), b = makeTask("B", folder, 1);
  save();
  modifier.updateNode(*b, folder->objectID(), OrderOption::order(1));
  modifier.recalculateOrderValues({a, b});
  EXPECT_FALSE(context().hasChanges());
}

TEST_F(DataModifierNodesTest, MovingToAnotherFolderRenumbersRecordsAndRecolours) {
  auto from = makeFolder("From"), to = makeFolder("To", nullptr, 1);
  from->setColorId(3);
  to->setColorId(7);
  auto x = makeTask("X", from, 0), y = makeTask("Y", from, 1), z = makeTask("Z", from, 2);
  auto u = makeTask("U", to, 4), v = makeTask("V", to, 8);
  x->setColorId(3);
  entry(y, utc(9), std::nullopt);
  save();
  ASSERT_TRUE(from->hasRunningSession());
  modifier.nodesWantUpdateConfirmedDuration().clear();
  EXPECT_FALSE(modifier.updateNodesConfirmedDurationsIfNeeded()) << "nothing recorded, nothing to do";
  const auto oldKey = y->hierarchyKey();

  modifier.updateNode(*y, {{Key::parentId, to->objectID()}});  // parentId alone: appended
  EXPECT_EQ(layout(from->childrenArray()) + " | " + layout(to->childrenArray()), "X=0 Z=1 | U=0 V=1 Y=2");
  EXPECT_EQ(y->colorId(), 7);
  EXPECT_EQ(modifier.nodesWantUpdateConfirmedDuration(), (NodeSet{from, to}));
  EXPECT_NE(y->hierarchyKey(), oldKey);
  EXPECT_TRUE(!from->hasRunningSession() && to->hasRunningSession());

  modifier.updateNode(*y, {{Key::order, OrderOption::order(0)}});  // order alone: same folder
  EXPECT_EQ(names(to->childrenArray()), "Y U V");

  // A parent that is not a folder sends the node to the top level, where a task keeps its
  // colour.
  modifier.updateNode(*x, u->objectID(), OrderOption::order(0));
  EXPECT_TRUE(!x->parent() && x->colorId() == 3);
  EXPECT_EQ(layout(topLevel(false)), "X=0 From=1 To=2");

  // An empty parentId never means "to the top": it keeps the current folder.
  modifier.updateNode(*z, {{Key::parentId, std::any()}, {Key::order, OrderOption::last}});
  EXPECT_EQ(z->parent(), from);
}

TEST_F(DataModifierNodesTest, ArchivingMarksTheSubtreeAndMovesItAmongTheArchived) {
  auto old = makeFolder("Old");
  auto folder = makeFolder("F", nullptr, 1), inner = makeFolder("Inner", folder);
  auto task = makeTask("T", inner);
  modifier.updateNode(*old, {{Key::archived, true}, {Key::moveToRoot, true}});
  makeFolder("Active", nullptr, 2);

  modifier.updateNode(*folder, {{Key::archived, true}, {Key::moveToRoot, true}});
  EXPECT_TRUE(folder->archived() && inner->archived() && task->archived());
  EXPECT_EQ(layout(topLevel(true)) + " | " + names(topLevel(false)), "Old=0 F=1 | Active");

  // Already archived: no move even with moveToRoot.
  modifier.archive(*old, true);
  modifier.updateNode(*old, {{Key::archived, true}, {Key::moveToRoot, true}});
  EXPECT_EQ(names(topLevel(true)), "Old F");

  modifier.unarchive(*inner, true);
  EXPECT_FALSE(inner->archived() || task->archived());
  EXPECT_EQ(names(topLevel(false)), "Active Inner");
}

TEST_F(DataModifierNodesTest, TurningBillingOffPropagatesToChildrenAndUnbilledEntries) {
  auto folder = makeFolder("F"), sub = makeFolder("S", folder);
  makeBillable(*folder, true, 50);
  sub->setHourlyRateIsSet(true);
  sub->setHourlyRate(70);
  auto inherits = makeTask("Inherits", sub);
  inherits->setHourlyRateIsSet(true);
  inherits->setHourlyRate(80);
  auto own = makeTask("Own", folder, 1);
  makeBillable(*own, true, std::nullopt);  // billable by itself, rate from the folder

  auto unbilled = entry(inherits, utc(9), utc(10));
  auto billed = entry(inherits, utc(10), utc(11));
  auto paid = entry(inherits, utc(11), utc(12));
  modifier.updateTimeEntry(*billed, BillingStatus::billed);
  modifier.updateTimeEntry(*paid, BillingStatus::paid);
  auto ownEntry = entry(own, utc(9), utc(10));
  ASSERT_EQ(unbilled->hourlyRate(), 80);
  ASSERT_EQ(ownEntry->hourlyRate(), 50);

  modifier.updateNode(*folder, {{Key::isBillableSet, true}, {Key::isBillable, false}});
  // Nodes "rate set,rate"; entries "billable,rate,revenue".
  auto render = [](std::vector<const Node*> nodes, std::vector<const Session*> entries) {
    std::ostringstream out;
    for (const Node* n : nodes) out << n->hourlyRateIsSet() << "," << n->hourlyRate() << " ";
    for (const Session* e : entries)
      out << e->isBillable() << "," << e->hourlyRate() << "," << e->confirmedRevenue() << " ";
    return out.str();
  };
  // Billed and paid entries keep their money; the effectively billable task keeps its settings,
  // but its rate now comes from nowhere.
  EXPECT_EQ(render({folder.get(), sub.get(), inherits.get()},
                   {unbilled.get(), billed.get(), paid.get(), ownEntry.get()}),
            "0,0 0,0 0,0 0,0,0 1,80,80 1,80,80 1,0,0 ");
  EXPECT_TRUE(own->isBillable());

  // A rate alone reprices unbilled entries below.
  modifier.updateNode(*own, {{Key::hourlyRateIsSet, true}, {Key::hourlyRate, 30.0}});
  EXPECT_EQ(render({}, {ownEntry.get()}), "1,30,30 ");
}

TEST_F(DataModifierNodesTest, SortByNameUsesScalarOrderOfComposedNamesAndIsStable) {
  makeTask("b", nullptr, 0);
  makeFolder("A", nullptr, 1);
  makeTask("a", nullptr, 2);
  auto archived = makeTask("0", nullptr, 5);
  archived->setArchived(true);
  modifier.sortNodesByName(nullptr, false);
  EXPECT_EQ(layout(topLevel(false)), "A=0 a=1 b=2");
  EXPECT_EQ(archived->order(), 5) << "the archived list is numbered on its own";

  auto folder = makeFolder("F", nullptr, 3);
  // "e" + combining acute composes to U+00E9, which sorts after "f"; equal names keep order.
  auto decomposed = makeTask("e\u0301", folder, 0);
  auto f1 = makeTask("f", folder, 1);
  auto zed = makeTask("Z", folder, 2);
  zed->setArchived(true);
  auto f2 = makeTask("f", folder, 3);
  modifier.sortNodesByName(folder, false);
  const auto sorted = folder->childrenArray();
  EXPECT_EQ(names(sorted), "Z f f e\u0301");
  EXPECT_TRUE(sorted[1] == f1 && sorted[2] == f2) << "equal names keep their order";
}

TEST_F(DataModifierNodesTest, ColoursReachDirectTasksOnly) {
  auto folder = makeFolder("F"), sub = makeFolder("S", folder);
  auto direct = makeTask("T", folder), deep = makeTask("D", sub);
  const auto u = sub->colorId();
  modifier.updateNode(*folder, {{Key::colorId, ColorSet::ID::orange}});
  EXPECT_EQ(std::vector({folder->colorId(), direct->colorId(), sub->colorId(), deep->colorId()}),
            std::vector<std::int16_t>({1, 1, u, u}));
  modifier.updateNode(*folder, {{Key::colorId, 5}, {Key::name, std::string("Renamed")}, {Key::notes, std::string("n")}});
  EXPECT_TRUE(direct->colorId() == 5 && folder->name() == "Renamed");
  modifier.updateNode(*direct, {{Key::notes, std::string("n")}});
  EXPECT_EQ(direct->notes(), "n");
  modifier.updateNode(*direct, {{Key::notes, std::any()}});
  EXPECT_FALSE(direct->notes()) << "notes without a value clear them";
}

TEST_F(DataModifierNodesTest, ChangeSetWithAWrongTypeOrAnUnstorableValueIsRefusedWhole) {
  auto folder = makeFolder("F"), other = makeFolder("Other", nullptr, 1);
  auto task = makeTask("T", folder);
  auto state = [&] { return task->name() + task->parent()->name() + std::to_string(task->colorId()); };
  const std::string before = state();
  const std::pair<Key, std::any> refused[] = {
      {Key::colorId, 70000}, {Key::colorId, std::string("red")}, {Key::hourlyRate, 25}, {Key::order, 0}};
  for (const auto& [key, value] : refused) {
    NodeChanges changes{{Key::name, std::string("Renamed")}, {Key::parentId, other->objectID()}};
    changes[key] = value;
    EXPECT_THROW(modifier.updateNode(*task, changes), std::system_error) << Key(key).rawValue();
    EXPECT_EQ(state(), before) << Key(key).rawValue();
  }
}

TEST_F(DataModifierNodesTest, DeleteAllNodesAnnouncesFirstAndLeavesNothing) {
  auto folder = makeFolder("F");
  entry(makeTask("T", folder), utc(9), utc(10));
  makeTask("Top", nullptr, 1);
  save();
  std::size_t announcedWith = 0;
  auto token = NotificationCenter::defaultCenter().addObserver(
      "Data.willDeleteAllNodes", nullptr,
      [&](const Notification&) { announcedWith = context().count(Node::fetchRequest()); });
  modifier.deleteAllNodes();
  save();
  EXPECT_EQ(std::tuple(announcedWith, context().count(Node::fetchRequest()),
                       context().count(Session::fetchRequest())),
            std::tuple(3u, 0u, 0u));
}

}  // namespace
}  // namespace chronelle::testing
