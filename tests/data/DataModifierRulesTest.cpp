#include "DataModifierFixture.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"

namespace chronelle::testing {
namespace {

class DataModifierRulesTest : public DataModifierFixture {};

TEST_F(DataModifierRulesTest, ActiveRuleSetsSkipArchivedTasksAndInactiveSets) {
  auto attach = [&](const std::string& name, bool archived, bool active) {
    auto task = makeTask(name);
    task->setArchived(archived);
    auto set = modifier.newRuleSet();
    set->setActive(active);
    task->setRuleSet(set);
    return set;
  };
  auto wanted = attach("on", false, true);
  attach("archived", true, true);
  attach("off", false, false);
  save();
  const auto sets = modifier.getActiveRuleSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets.front(), wanted);
}

TEST_F(DataModifierRulesTest, RulesMoveIntoCombinationsButCombinationsDoNotNest) {
  auto set = modifier.newRuleSet();
  auto combination = modifier.newRuleCombination();
  auto r1 = modifier.newRule(), r2 = modifier.newRule(), r3 = modifier.newRule();
  std::int16_t order = 0;
  for (const std::shared_ptr<RuleBase>& rule : {std::shared_ptr<RuleBase>(combination), std::shared_ptr<RuleBase>(r1),
                                                std::shared_ptr<RuleBase>(r2), std::shared_ptr<RuleBase>(r3)}) {
    rule->setOrder(order++);
    set->addToRules(rule);
  }
  combination->setActive(false);

  EXPECT_TRUE(modifier.canRules({r1, r2}, combination));
  EXPECT_FALSE(modifier.canRules({r1, combination}, combination));
  EXPECT_TRUE(modifier.canRules({r1, combination}, nullptr));

  modifier.moveRules({r3, r1}, set, combination, 0);
  const auto children = combination->childrenArray();
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0], r3);
  EXPECT_EQ(children[1], r1);
  EXPECT_EQ(r1->set(), nullptr);
  EXPECT_FALSE(r1->active()) << "a rule takes the combination's state";

  modifier.setRuleIsActive(r1, true);
  EXPECT_FALSE(r1->active()) << "not switched on alone inside an inactive combination";
  modifier.setRuleIsActive(combination, true);
  EXPECT_TRUE(r1->active());
  EXPECT_TRUE(r3->active());

  modifier.deleteRule(r2);
  save();
  EXPECT_EQ(context().count(RuleBase::fetchRequest()), 3u);
}

}  // namespace
}  // namespace chronelle::testing
