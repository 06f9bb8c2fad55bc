#pragma once

#include <memory>
#include <vector>

#include "chronelle/model/RuleBase.h"

namespace chronelle {

/// A group of rules inside a rule set. Adds no attributes. Used on its context's queue only.
class RuleCombination : public RuleBase {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "RuleCombination";
  /// A fetch request for combinations.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }

  /// The children sorted by `order` ascending; equal orders keep store order. Empty when there
  /// are none.
  std::vector<std::shared_ptr<RuleBase>> childrenArray() const;
};

}  // namespace chronelle
