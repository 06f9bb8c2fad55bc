// DataModifier: rules, rule sets and activity-log entries inside write blocks.
#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

std::shared_ptr<RuleSet> DataModifier::newRuleSet() { return context_->insert<RuleSet>(RuleSet::kEntityName); }

std::shared_ptr<RuleSet> DataModifier::ruleSetOf(Task& task) {
  if (auto set = task.ruleSet()) return set;
  auto set = newRuleSet();
  set->setStartTypeIndex(1);
  set->setPauseTypeIndex(2);
  task.setRuleSet(set);
  return set;
}

std::shared_ptr<Rule> DataModifier::newRule() { return context_->insert<Rule>(Rule::kEntityName); }

std::shared_ptr<RuleCombination> DataModifier::newRuleCombination() {
  return context_->insert<RuleCombination>(RuleCombination::kEntityName);
}

void DataModifier::deleteRule(const std::shared_ptr<RuleBase>& rule) {
  if (!rule) return;
  context_->performAndWait([&] { context_->deleteObject(rule); });
}

std::vector<std::shared_ptr<RuleSet>> DataModifier::getActiveRuleSets() {
  std::vector<std::shared_ptr<RuleSet>> sets;
  context_->performAndWait([&] {
    try {
      FetchRequest request(RuleSet::kEntityName);
      request.predicate = Predicate::parse("active == true AND task.archived == false");
      for (const auto& object : context_->fetch(request)) {
        if (auto set = std::dynamic_pointer_cast<RuleSet>(object)) sets.push_back(std::move(set));
      }
    } catch (const std::exception& error) {
      logError(log_, "Error on getting active rule sets", error);
      sets.clear();
    }
  });
  return sets;
}

// Activation and moving follow the read side exactly: one implementation answers both.
void DataModifier::setRuleIsActive(const std::shared_ptr<RuleBase>& rule, bool isActive) {
  BaseDataProvider(context_).setRuleIsActive(rule, isActive);
}

bool DataModifier::canRules(const std::vector<std::shared_ptr<RuleBase>>& rules,
                            const std::shared_ptr<RuleCombination>& beMoveTo) const {
  return BaseDataProvider(context_).checkThatRules(rules, beMoveTo);
}

void DataModifier::moveRules(const std::vector<std::shared_ptr<RuleBase>>& rules,
                             const std::shared_ptr<RuleSet>& inRuleSet, const std::shared_ptr<RuleCombination>& to,
                             std::size_t index) {
  BaseDataProvider(context_).moveRules(rules, inRuleSet, to, index);
}

void DataModifier::deleteActivityLogEntry(ALEntry& activityLogEntry) {
  context_->deleteObject(activityLogEntry.shared_from_this());
}

}  // namespace chronelle
