// The rule edits of BaseDataProvider: creating, deleting, activating and moving rules.
#include <algorithm>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"

namespace chronelle {
namespace {

using RuleList = std::vector<std::shared_ptr<RuleBase>>;

// Position of `rule` in `list` by object identity, or list.size().
std::size_t indexOf(const RuleList& list, const std::shared_ptr<RuleBase>& rule) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (isSameObject(list[i].get(), rule.get())) return i;
  }
  return list.size();
}

}  // namespace

std::shared_ptr<RuleSet> BaseDataProvider::newRuleSet() { return context_->insert<RuleSet>(RuleSet::kEntityName); }

std::shared_ptr<Rule> BaseDataProvider::newRule() { return context_->insert<Rule>(Rule::kEntityName); }

std::shared_ptr<RuleCombination> BaseDataProvider::newRuleCombination() {
  return context_->insert<RuleCombination>(RuleCombination::kEntityName);
}

void BaseDataProvider::deleteRule(const std::shared_ptr<RuleBase>& rule) {
  if (!rule) return;
  context_->performAndWait([&] { context_->deleteObject(rule); });
}

void BaseDataProvider::setRuleIsActive(const std::shared_ptr<RuleBase>& rule, bool isActive) {
  if (!rule) return;
  auto parent = rule->parent();
  if (parent && isActive && !parent->active()) return;
  rule->setActive(isActive);
  if (auto combination = std::dynamic_pointer_cast<RuleCombination>(rule)) {
    for (const auto& child : combination->childrenArray()) child->setActive(isActive);
  }
}

bool BaseDataProvider::checkThatRules(const RuleList& rules,
                                      const std::shared_ptr<RuleCombination>& canBeMoveTo) const {
  if (!canBeMoveTo) return true;
  return std::none_of(rules.begin(), rules.end(), [](const std::shared_ptr<RuleBase>& rule) {
    return std::dynamic_pointer_cast<RuleCombination>(rule) != nullptr;
  });
}

void BaseDataProvider::moveRules(const RuleList& rules, const std::shared_ptr<RuleSet>& inRuleSet,
                                 const std::shared_ptr<RuleCombination>& to, std::size_t toIndex) {
  if (!checkThatRules(rules, to)) return;

  // A rule whose combination moves too travels inside it.
  RuleList moved;
  for (const auto& rule : rules) {
    auto parent = rule->parent();
    if (parent && indexOf(rules, parent) < rules.size()) continue;
    moved.push_back(rule);
  }

  RuleList siblings;
  if (to) {
    siblings = to->childrenArray();
  } else if (inRuleSet) {
    siblings = inRuleSet->rules();
    std::stable_sort(siblings.begin(), siblings.end(),
                     [](const auto& a, const auto& b) { return a->order() < b->order(); });
  }
  if (toIndex > siblings.size()) return;

  // Inserting from the last to the first at one index keeps them consecutive and in order.
  for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
    const auto& rule = *it;
    const auto oldParent = rule->parent();
    rule->setSet(to ? nullptr : inRuleSet);
    rule->setParent(to);
    if (to) {
      rule->setActive(to->active());
    } else if (oldParent && !oldParent->active()) {
      rule->setActive(true);
    }
    const std::size_t old = indexOf(siblings, rule);
    if (old < siblings.size()) {
      siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(old));
      if (old < toIndex) --toIndex;
    }
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(toIndex), rule);
  }

  for (std::size_t i = 0; i < siblings.size(); ++i) {
    const auto order = static_cast<std::int16_t>(i);
    if (siblings[i]->order() != order) siblings[i]->setOrder(order);
  }
}

}  // namespace chronelle
