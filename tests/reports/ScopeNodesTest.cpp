// Report scopes narrowed to nodes: the tasks they select, node set edits, node equality.

#include <gtest/gtest.h>

#include <chrono>

#include "ReportsFixture.h"
#include "chronelle/model/NodeSetHelpers.h"
#include "chronelle/reports/NodeReportScope.h"
#include "chronelle/reports/ReportCalculator.h"
#include "chronelle/reports/ReportScope3.h"

namespace chronelle::testing {
namespace {

class ScopeNodesTest : public ReportsFixture {
 protected:
  ScopeNodesTest() {
    makeTree();
    save();
  }

  static std::set<ObjectID> ids(std::initializer_list<std::shared_ptr<Task>> tasks) {
    std::set<ObjectID> result;
    for (const auto& task : tasks) result.insert(task->objectID());
    return result;
  }
};

TEST_F(ScopeNodesTest, ReportScopeSelectsTasksOfItsNodes) {
  const ReportScope3 all(berlin());
  EXPECT_FALSE(all.toSessionQuery().taskIds.has_value());

  const auto devAndTop = all.scopeByAdusting(NodeSet{dev, top});
  EXPECT_EQ(devAndTop.toSessionQuery().taskIds, ids({backend, frontend, top}));
  // A folder together with one of its own tasks: the task once.
  EXPECT_EQ(all.scopeByAdusting(NodeSet{work, backend}).toSessionQuery().taskIds, ids({design, backend, frontend}));

  EXPECT_FALSE(devAndTop.scopeByAdusting(NodeSet{}).nodes.has_value()) << "empty set: all tasks";
  EXPECT_FALSE(devAndTop.scopeWithAllNodes().nodes.has_value());
  EXPECT_EQ(devAndTop.scopeByAdding(NodeSet{admin, top}).nodes->size(), 3u);
  EXPECT_EQ(all.scopeByAdding(NodeSet{admin}).nodes, NodeSet{admin});

  // Removing down to nothing selects no task: an empty, present task set.
  const auto nothing = devAndTop.scopeByRemoving(NodeSet{dev, top});
  ASSERT_TRUE(nothing.nodes.has_value());
  EXPECT_TRUE(nothing.nodes->empty());
  EXPECT_EQ(nothing.toSessionQuery().taskIds, std::set<ObjectID>{});

  // Nodes compare by identifier; the description lists them.
  EXPECT_TRUE(devAndTop == all.scopeByAdding(NodeSet{top}).scopeByAdding(NodeSet{dev}));
  EXPECT_FALSE(devAndTop == all.scopeByAdusting(NodeSet{dev}));
  const std::string text = all.scopeByAdusting(NodeSet{top}).description();
  EXPECT_NE(text.find(",\n        nodes = [" + *top->identifier() + ")],"), std::string::npos) << text;
}

TEST_F(ScopeNodesTest, EmptiedNodeOrBillingSetsReportNothing) {
  using Billing = SessionQuery3::BillingStatusOption;
  const Date day = berlinTime(2026, 3, 10);
  makeEntry(design, day + 9 * 3600.0, day + 10 * 3600.0, true, 30);
  makeEntry(top, day + 11 * 3600.0, day + 11.5 * 3600.0);
  save();
  ReportCalculator calculator(provider);
  ReportScope3 all(berlin());
  NodeReportScope ofErrands(errands, berlin());
  all.referenceDate = ofErrands.referenceDate = day;
  const std::pair<const char*, SessionQuery3> cases[] = {
      {"a folder without tasks", all.scopeByAdusting(NodeSet{errands}).toSessionQuery()},
      {"last node removed", all.scopeByAdding(NodeSet{top}).scopeByRemoving(NodeSet{top}).toSessionQuery()},
      {"last status removed", all.scopeByAdding(Billing::paid).scopeByRemoving(Billing::paid).toSessionQuery()},
      {"drill-down into a folder without tasks", ofErrands.toSessionQuery(*provider)},
  };
  ASSERT_EQ(calculator.totalValuesForSessions(all.toSessionQuery(), TotalValueTypeOptionSet::all).sessionCount, 2);
  for (const auto& [name, query] : cases) {
    EXPECT_EQ(calculator.totalValuesForSessions(query, TotalValueTypeOptionSet::all).duration, 0) << name;
    EXPECT_TRUE(calculator.trackedTasks(query).empty()) << name;
  }
}

// From the start of the day of the nodes' oldest entry to the end of the day of their latest
// one, or of today while it runs.
TEST_F(ScopeNodesTest, CustomScopesCoverTheDaysOfTheNodesEntries) {
  makeEntry(backend, berlinTime(2026, 2, 3, 23, 30), berlinTime(2026, 2, 4, 0, 30));
  makeEntry(frontend, berlinTime(2026, 3, 5, 9), berlinTime(2026, 3, 5, 10));
  makeEntry(design, berlinTime(2026, 3, 10, 9), berlinTime(2026, 3, 10, 10));
  makeEntry(top, berlinTime(2026, 3, 28, 22), std::nullopt);
  save();
  const auto endOf = [](int month, int day) {
    return Date(berlinTime(2026, month, day, 23, 59, 59).timePoint() + std::chrono::microseconds(999'999));
  };
  const struct {
    const char* name;
    NodeSet nodes;
    std::optional<DateInterval> period;
  } cases[] = {
      {"a folder's tasks", NodeSet{dev}, DateInterval(berlinTime(2026, 2, 3), endOf(3, 5))},
      {"running until today", NodeSet{top}, DateInterval(berlinTime(2026, 3, 28), endOf(3, 29))},
      {"two nodes", NodeSet{design, dev}, DateInterval(berlinTime(2026, 2, 3), endOf(3, 10))},
      {"no entries", NodeSet{errands}, std::nullopt},
  };
  ReportCalculator calculator(provider);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto scope = calculator.getCustomReportScope(c.nodes, berlin());
    ASSERT_EQ(scope.has_value(), c.period.has_value());
    if (!scope) continue;
    EXPECT_EQ(scope->type, ReportScopeType::custom);
    EXPECT_EQ(scope->fromDate(), c.period->start());
    EXPECT_EQ(scope->toDate(), c.period->end());
    EXPECT_EQ(scope->nodes, c.nodes);
    if (c.nodes.size() != 1) continue;
    const auto nodeScope = calculator.getCustomNodeReportScope(*c.nodes.begin(), berlin());
    ASSERT_TRUE(nodeScope.has_value());
    EXPECT_EQ(nodeScope->parentNode, *c.nodes.begin());
    EXPECT_EQ(nodeScope->fromDate(), c.period->start());
    EXPECT_EQ(nodeScope->toDate(), c.period->end());
  }
  EXPECT_FALSE(calculator.getCustomNodeReportScope(errands, berlin()).has_value());
  EXPECT_FALSE(calculator.getCustomNodeReportScope(nullptr, berlin()).has_value());
}

TEST_F(ScopeNodesTest, NodeScopeSelectsChildrenMinusExclusions) {
  struct Case {
    const char* name;
    NodeReportScope scope;
    std::set<ObjectID> expected;
  };
  const NodeReportScope root(berlin());
  const NodeReportScope ofWork(work, berlin());
  const Case cases[] = {
      {"folder, no exclusions: every task below", ofWork, ids({design, backend, frontend})},
      {"folder minus a child folder", ofWork.scopeByTogglingExcludedNode(dev), ids({design})},
      {"exclusion toggled back", ofWork.scopeByTogglingExcludedNode(dev).scopeByTogglingExcludedNode(dev),
       ids({design, backend, frontend})},
      {"only direct children are matched", ofWork.scopeByTogglingExcludedNode(backend),
       ids({design, backend, frontend})},
      {"top level, archived included", root, ids({design, backend, frontend, admin, top})},
      {"top level minus work", root.scopeByTogglingExcludedNode(work), ids({admin, top})},
      {"task parent", NodeReportScope(backend, berlin()), ids({backend})},
      {"task parent excluding itself", NodeReportScope(backend, berlin()).scopeByTogglingExcludedNode(backend), {}},
      {"empty folder", NodeReportScope(errands, berlin()), {}},
      {"exclusions dropped", root.scopeByTogglingExcludedNode(work).scopeWithoutExcludedNodes(),
       ids({design, backend, frontend, admin, top})},
      {"parent moved, exclusions kept",
       ofWork.scopeByTogglingExcludedNode(design).scopeByAdjustingParentNode(dev), ids({backend, frontend})},
  };
  for (const auto& c : cases) {
    const auto query = c.scope.toSessionQuery(*provider);
    ASSERT_TRUE(query.taskIds.has_value()) << c.name;
    EXPECT_EQ(*query.taskIds, c.expected) << c.name;
  }

  EXPECT_TRUE(ofWork == NodeReportScope(work, berlin()));
  EXPECT_FALSE(ofWork == root);
  EXPECT_FALSE(ofWork == ofWork.scopeByTogglingExcludedNode(dev));
  EXPECT_TRUE(ofWork.scopeByTogglingExcludedNode(dev) == ofWork.scopeByTogglingExcludedNode(dev));
  const std::string text = ofWork.scopeByTogglingExcludedNode(dev).description();
  EXPECT_EQ(text.rfind("    <NodeReportScope:\n        type = daily,", 0), 0u) << text;
  EXPECT_NE(text.find(",\n        parentNode = " + work->description() + ",\n        excludedNodes = [" +
                      *dev->identifier() + ")],\n        archiveFilter = nil"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace chronelle::testing
