#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "chronelle/model/NSManagedObjectWithIdentifier.h"
#include "chronelle/model/RuleSetPauseDelay.h"
#include "chronelle/model/RuleSetPauseType.h"
#include "chronelle/model/RuleSetStartDelay.h"
#include "chronelle/model/RuleSetStartType.h"
#include "chronelle/store/FetchRequest.h"

namespace chronelle {

class RuleBase;
class Task;

/// The automatic-tracking rules of one task: when to start and pause timing it, and the tree
/// of rules that describe the activity. The library stores it; the application evaluates it.
/// Deleting a set deletes its rules. Used on its context's queue only.
class RuleSet : public NSManagedObjectWithIdentifier {
 public:
  /// What automatic tracking does when the rule set starts to match (see RuleSetStartType.h).
  using StartType = RuleSetStartType;
  /// What automatic tracking does when the rule set stops matching (see RuleSetPauseType.h).
  using PauseType = RuleSetPauseType;
  /// How long the rule set must match before tracking starts (see RuleSetStartDelay.h).
  using StartDelay = RuleSetStartDelay;
  /// How long the rule set must stop matching before tracking pauses (see RuleSetPauseDelay.h).
  using PauseDelay = RuleSetPauseDelay;

  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "RuleSet";
  /// A fetch request for rule sets.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }
  /// The entity's name, `kEntityName`.
  std::string entityName() const { return kEntityName; }

  /// \name Stored attributes and relationships
  ///@{
  std::int16_t startTypeIndex() const;
  void setStartTypeIndex(std::int16_t index);
  std::int16_t startDelayIndex() const;
  void setStartDelayIndex(std::int16_t index);
  std::int16_t pauseTypeIndex() const;
  void setPauseTypeIndex(std::int16_t index);
  std::int16_t pauseDelayIndex() const;
  void setPauseDelayIndex(std::int16_t index);
  /// The top-level rules of the set, in store order (rules inside combinations belong to the
  /// combination instead).
  std::vector<std::shared_ptr<RuleBase>> rules() const;
  void addToRules(const std::shared_ptr<RuleBase>& rule);
  void removeFromRules(const std::shared_ptr<RuleBase>& rule);
  /// The owning task; null when none.
  std::shared_ptr<Task> task() const;
  void setTask(const std::shared_ptr<Task>& task);
  /// Whether the set takes part in automatic tracking (true for a new set).
  bool active() const;
  void setActive(bool active);
  ///@}

  /// \name Typed views of the stored indexes
  ///@{

  /// `notify` for index 0, `active` for any other index.
  StartType startType() const;
  void setStartType(StartType type);
  /// The case of the index, `active` for an index outside 0…2.
  PauseType pauseType() const;
  void setPauseType(PauseType type);
  /// The case of the index, `for10sec` when no case has it.
  StartDelay startDelay() const;
  void setStartDelay(StartDelay delay);
  /// The case of the index, `for10sec` when no case has it.
  PauseDelay pauseDelay() const;
  void setPauseDelay(PauseDelay delay);
  ///@}
};

}  // namespace chronelle
