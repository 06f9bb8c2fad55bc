#include "chronelle/model/RuleBase.h"

#include <algorithm>

#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"

namespace chronelle {
namespace {

constexpr const char* kActive = "active";
constexpr const char* kOrder = "order";
constexpr const char* kSet = "set";
constexpr const char* kChildren = "children";
constexpr const char* kParent = "parent";

}  // namespace

bool RuleBase::active() const { return value(kActive).asBool().value_or(false); }
void RuleBase::setActive(bool active) { setValue(kActive, active); }

std::int16_t RuleBase::order() const {
  return static_cast<std::int16_t>(value(kOrder).asInteger().value_or(0));
}
void RuleBase::setOrder(std::int16_t order) { setValue(kOrder, order); }

std::shared_ptr<RuleSet> RuleBase::set() const {
  return std::dynamic_pointer_cast<RuleSet>(object(kSet));
}
void RuleBase::setSet(const std::shared_ptr<RuleSet>& set) { setObject(kSet, set); }

std::vector<std::shared_ptr<RuleBase>> RuleBase::children() const {
  std::vector<std::shared_ptr<RuleBase>> result;
  for (const auto& object : objects(kChildren)) {
    if (auto rule = std::dynamic_pointer_cast<RuleBase>(object)) result.push_back(std::move(rule));
  }
  return result;
}
void RuleBase::addToChildren(const std::shared_ptr<RuleBase>& child) {
  addObject(kChildren, child);
}
void RuleBase::removeFromChildren(const std::shared_ptr<RuleBase>& child) {
  removeObject(kChildren, child);
}

std::shared_ptr<RuleBase> RuleBase::parent() const {
  return std::dynamic_pointer_cast<RuleBase>(object(kParent));
}
void RuleBase::setParent(const std::shared_ptr<RuleBase>& parent) { setObject(kParent, parent); }

std::vector<std::shared_ptr<RuleBase>> RuleCombination::childrenArray() const {
  auto rules = children();
  std::stable_sort(rules.begin(), rules.end(),
                   [](const auto& a, const auto& b) { return a->order() < b->order(); });
  return rules;
}

}  // namespace chronelle
