#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/model/Node.h"

namespace chronelle {

class RuleSet;
class Session;

/// A leaf of the work tree: the node time entries are booked on. It has no children. Used on
/// its context's queue only.
class Task : public Node {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "Task";
  /// A fetch request for tasks.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }

  /// The time entries booked on the task, in store order. Deleting the task deletes them.
  std::vector<std::shared_ptr<Session>> sessions() const;
  /// Books `session` on this task (its `task` becomes this one).
  void addToSessions(const std::shared_ptr<Session>& session);
  /// Takes `session` off this task (its `task` is cleared).
  void removeFromSessions(const std::shared_ptr<Session>& session);
  /// Free text; absent when none.
  ///@{
  std::optional<std::string> notes() const;
  void setNotes(std::optional<std::string> notes);
  ///@}
  /// The automatic-tracking rule set; null when the task has none. Deleting the task deletes
  /// it.
  ///@{
  std::shared_ptr<RuleSet> ruleSet() const;
  void setRuleSet(const std::shared_ptr<RuleSet>& ruleSet);
  ///@}

  /// Kept for the application, which sets it; not stored, false on every load. Observable
  /// under "hasBlacklistedMatch".
  ///@{
  bool hasBlacklistedMatch() const { return hasBlacklistedMatch_; }
  void setHasBlacklistedMatch(bool match);
  ///@}

 private:
  bool hasBlacklistedMatch_ = false;
};

}  // namespace chronelle
