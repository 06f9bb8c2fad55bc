#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "chronelle/model/NSManagedObjectWithIdentifier.h"
#include "chronelle/store/FetchRequest.h"

namespace chronelle {

class RuleSet;

/// The common stored base of rules and rule combinations: whether it takes part, its position
/// among its siblings, and where it hangs — directly in a rule set (`set`) or inside a
/// combination (`parent`). An abstract entity: every stored rule is a Rule or a
/// RuleCombination. Deleting one deletes the rules grouped under it. Used on its context's
/// queue only.
class RuleBase : public NSManagedObjectWithIdentifier {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "RuleBase";
  /// A fetch request for rules and combinations.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }

  /// Whether the rule takes part (true for a new rule).
  ///@{
  bool active() const;
  void setActive(bool active);
  ///@}
  /// Position among the siblings.
  ///@{
  std::int16_t order() const;
  void setOrder(std::int16_t order);
  ///@}
  /// The rule set of a top-level rule; null for a rule inside a combination.
  ///@{
  std::shared_ptr<RuleSet> set() const;
  void setSet(const std::shared_ptr<RuleSet>& set);
  ///@}
  /// The rules grouped under this one (combinations only), in store order.
  std::vector<std::shared_ptr<RuleBase>> children() const;
  /// Adds `child` to this combination's children (its `parent` becomes this one).
  void addToChildren(const std::shared_ptr<RuleBase>& child);
  /// Removes `child` from the children (its `parent` is cleared).
  void removeFromChildren(const std::shared_ptr<RuleBase>& child);
  /// The combination this rule is grouped under; null when none.
  ///@{
  std::shared_ptr<RuleBase> parent() const;
  void setParent(const std::shared_ptr<RuleBase>& parent);
  ///@}
};

}  // namespace chronelle
