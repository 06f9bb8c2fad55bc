#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/NodeChangeKey.h"
#include "chronelle/data/OrderOption.h"
#include "chronelle/data/StaleConfirmedDuration.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/model/NodeSet.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

class ALEntry;
class Folder;
class Node;
class Rule;
class RuleBase;
class RuleCombination;
class RuleSet;
class Session;
class Task;

/// The mutation worker of the write side: every edit of time entries, folders, tasks, rules
/// and activity-log entries that MainDataProvider makes goes through one DataModifier working
/// in one context (the stack's view context). It edits objects of that context only and never
/// saves; the write block that calls it (or the write operation around it) saves.
///
/// It also keeps `nodesWantUpdateConfirmedDuration`: the tasks and folders whose stored
/// confirmed duration must be recomputed from their saved entries after the next save.
/// `updateNodesConfirmedDurationsIfNeeded()` drains it.
///
/// Threading: everything runs synchronously on the context's queue (for the view context, the
/// main thread, inside a write block). Objects passed in must belong to `context()`.
/// Nothing throws unless said so; wrong-typed change-set values are ignored key by key.
class DataModifier {
 public:
  /// Works in `context`, which must not be null and outlives nothing: the modifier shares it.
  explicit DataModifier(std::shared_ptr<ObjectContext> context);
  /// The same, for a context the caller holds by reference (it must be owned by a shared_ptr,
  /// as every ObjectContext is).
  ///@{
  explicit DataModifier(ObjectContext& context);
  DataModifier(const DataModifier&) = delete;
  ///@}
  DataModifier& operator=(const DataModifier&) = delete;

  /// The context every operation works in.
  ObjectContext& context() const { return *context_; }
  /// The context the modifier edits, shared. Never null.
  const std::shared_ptr<ObjectContext>& sharedContext() const { return context_; }
  /// Tasks and folders waiting for the recomputation of their confirmed duration. Callers
  /// that delete entries themselves add the entries' tasks here.
  ///@{
  NodeSet& nodesWantUpdateConfirmedDuration() { return nodesWantUpdateConfirmedDuration_; }
  const NodeSet& nodesWantUpdateConfirmedDuration() const { return nodesWantUpdateConfirmedDuration_; }
  ///@}

  // ==== Time entries =========================================================================

  /// Inserts a new Session with `begin` = now (Clock::now(), not floored) and returns it.
  std::shared_ptr<Session> newTimeEntry();

  /// Applies a change set in this order: begin/end, originalEnd, roundingTo, roundingMethod,
  /// taskId, notes, billingStatus, hourlyRate, autotracked. A key without a value is not
  /// given, except `notes`, which it clears; an `end` key without a value keeps the end. A
  /// taskId that is not found or is not a Task is skipped. Throws std::system_error
  /// (ChangeSetError) for a value of the wrong type (see TimeEntryChangeKey) or one its
  /// attribute cannot hold, before changing anything.
  void updateTimeEntry(Session& timeEntry, const TimeEntryChanges& changes);
  /// Moves the entry to `task`: the old task loses and the new one gains the running mark of
  /// a running entry (the new task's `lastSessionBegin` becomes begin + 1 s); tasks with
  /// time to recount are recorded; an unbilled entry takes the task's billing settings.
  void updateTimeEntry(Session& timeEntry, Task& task);
  /// Sets `billingStatusValue` to the status's raw value.
  void updateTimeEntry(Session& timeEntry, BillingStatus billingStatus);

  /// begin = `begin` floored to whole seconds; an end before it is moved to it; then the
  /// confirmed duration and revenue are recomputed.
  void updateTimeEntryBegin(Session& timeEntry, Date begin);
  /// end = `end` floored; when `end` (as given) is before the begin, begin = `end` as given;
  /// then duration and revenue.
  void updateTimeEntryEnd(Session& timeEntry, Date end);
  /// begin and end floored (no end when absent); an end before the begin is moved to it;
  /// then duration and revenue.
  void updateTimeEntryBeginEnd(Session& timeEntry, Date begin, std::optional<Date> end);
  /// Sets `originalEnd` as given.
  void updateTimeEntryOriginalEnd(Session& timeEntry, std::optional<Date> originalEnd);
  /// Same as updateTimeEntry(timeEntry, task).
  void updateTimeEntryWithTask(Session& timeEntry, Task& task) { updateTimeEntry(timeEntry, task); }
  /// Sets `notes`; absent clears them.
  void updateTimeEntryNotes(Session& timeEntry, std::optional<std::string> notes);
  /// Sets `hourlyRate`, then recomputes `confirmedRevenue`.
  void updateTimeEntryHourlyRate(Session& timeEntry, double hourlyRate);
  /// Same as updateTimeEntry(timeEntry, billingStatus).
  void updateTimeEntryBillingStatus(Session& timeEntry, BillingStatus billingStatus) {
    updateTimeEntry(timeEntry, billingStatus);
  }
  /// Sets `autotracked`.
  void updateTimeEntryAutotracked(Session& timeEntry, bool autotracked);
  /// For an unbilled entry (raw status 0) with a task: `isBillable` and the hourly rate (with
  /// revenue) from the task's effective settings. Billed and paid entries are left alone.
  void updateTimeEntryBillingData(Session& timeEntry);
  /// confirmedDuration = 0 while running, else the whole seconds from begin to end; records
  /// the task for recomputation.
  void updateConfirmedDuration(Session& timeEntry);

  /// A new entry with the source's begin, end, task and billing status (and notes when
  /// `withNotes`); the task's current billing settings apply first, then the status.
  std::shared_ptr<Session> duplicateTimeEntry(Session& timeEntry, bool withNotes);
  /// Records the entry's task for recomputation and deletes the entry. The task's running
  /// mark is not touched.
  void deleteTimeEntry(Session& timeEntry);

  /// Sets `hasRunningSession` on the node and every ancestor, then announces the change of
  /// the effective durations up the chain.
  void updateNodeHasRunningSession(Node& node, bool hasRunningSession);

  /// Recomputes a task from the store (see updateConfirmedDurationForTask) or a folder from
  /// its children (see updateConfirmedDurationForFolder).
  void updateConfirmedDuration(Node& node);
  /// The task's confirmedDuration = the store's sum of `confirmedDuration` over its saved
  /// entries (unsaved changes are not seen); then its parent folder chain is summed again. A
  /// failed fetch is logged ("Error on updating task's confirmed duration") and changes
  /// nothing. Deleted tasks are skipped.
  void updateConfirmedDurationForTask(Task& task);
  /// The folder's confirmedDuration = the sum over all its children, then the same for each
  /// ancestor folder. A folder whose data is not loaded (a fault) or that is deleted stops the
  /// walk.
  void updateConfirmedDurationForFolder(Folder& folder);
  /// Recomputes every recorded node and empties the record. Returns false when nothing was
  /// recorded, otherwise whether the context has unsaved changes. Does not throw in practice
  /// (fetch failures are logged), but callers treat it as throwing.
  bool updateNodesConfirmedDurationsIfNeeded();

  /// Every task and folder of the context (deleted ones aside) whose confirmed duration
  /// differs from the recomputation from the saved entries (see StaleConfirmedDuration),
  /// exactly, in tree order (a folder before its children). Empty when all agree. Reads
  /// saved entries only: call it with no unsaved entry changes. Throws the store's error.
  std::vector<StaleConfirmedDuration> verifyConfirmedDurations();
  /// Sets every stale confirmed duration found by verifyConfirmedDurations() to its
  /// recomputed value (leaving the others untouched, so an agreeing store gets no changes)
  /// and returns what it changed. Does not save. Throws the store's error; nothing is
  /// changed then.
  std::vector<StaleConfirmedDuration> repairConfirmedDurations();

  // ==== Folders and tasks ====================================================================

  /// Applies a node change set in this order: name, colorId, position (parentId/order),
  /// notes (tasks only), archived (+ moveToRoot), billing. See NodeChangeKey for the types.
  /// Throws std::system_error(ChangeSetError) for a value of the wrong type or one its
  /// attribute cannot hold (a colour outside 16 bits), before changing anything.
  void updateNode(Node& node, const NodeChanges& changes);
  /// Moves `node` under the folder `parentId` (the top level when absent, not found or not a
  /// folder) at `order`, renumbering the sibling lists involved; see the move rules in
  /// DataModifierMove.cpp.
  void updateNode(Node& node, const std::optional<ObjectID>& parentId, OrderOption order);
  /// The billing step of updateNode(node, changes) with all four values given; propagates
  /// into children and unbilled entries when the effective settings change.
  void updateNode(Node& node, bool isBillableSet, bool isBillable, bool hourlyRateIsSet, double hourlyRate);
  /// Sets `colorId` on the node and on each direct child that is a Task.
  void updateNodeWithColorId(Node& node, std::int16_t colorId);

  /// Marks a node that is not archived (and its whole subtree) archived, then, with
  /// `moveToRoot`, moves it last among the archived top-level nodes. An archived node is left
  /// alone.
  void archive(Node& node, bool moveToRoot);
  /// The mirror of `archive` for an archived node.
  void unarchive(Node& node, bool moveToRoot);
  /// Sets `archived` on the node and, for a folder, on every node below it.
  void setArchivedState(Node& node, bool archived);

  /// Sorts the children of `in` (all of them), or with no folder the top-level nodes whose
  /// archived state is `inArchive`, by name (Unicode scalar order of the NFC forms; stable)
  /// and renumbers them from 0.
  void sortNodesByName(const std::shared_ptr<Folder>& in, bool inArchive);
  /// Records each node's parent for recomputation and deletes the node (its subtree and
  /// entries go by the delete rules). Siblings are not renumbered.
  void deleteNodes(const std::vector<std::shared_ptr<Node>>& nodes);
  /// Logs "Deleting all nodes...", posts "Data.willDeleteAllNodes" (no object, synchronously),
  /// then deletes every top-level node. Throws the store's error (after logging "Error on
  /// deleting all nodes") when the fetch fails; nothing is deleted then.
  void deleteAllNodes();

  /// Writes `order` = index to every node of `nodes` whose order differs (a 16-bit counter).
  void recalculateOrderValues(const std::vector<std::shared_ptr<Node>>& nodes);
  /// For an effectively non-billable node: clears the explicit rate (hourlyRateIsSet false,
  /// hourlyRate 0), and for a folder the same down the subtree.
  void updateBillingSettingsInChildren(Node& node);
  /// Refreshes the entries of the task (or of every task below the folder) from the task's
  /// effective settings: isBillable (only set false on unbilled entries), and on unbilled
  /// entries the rate and revenue.
  void updateIsBillableAndRevenueInTimeEntries(Node& node);

  /// The sibling list of `node`: its folder's children by order, or the top-level nodes of
  /// both kinds in its archived state.
  std::vector<std::shared_ptr<Node>> siblings(Node& node);

  // ==== Rules and the activity log ===========================================================

  /// New objects inserted into the context, each with a fresh identifier.
  ///@{
  std::shared_ptr<RuleSet> newRuleSet();
  std::shared_ptr<Rule> newRule();
  std::shared_ptr<RuleCombination> newRuleCombination();
  ///@}
  /// The task's rule set; when it has none, a new one with the settings a task's first rule
  /// gets (start on notification, pause when active) is created and attached. Never null.
  std::shared_ptr<RuleSet> ruleSetOf(Task& task);
  /// Deletes a rule or combination (its grouped rules go by the delete rules). Null is ignored.
  void deleteRule(const std::shared_ptr<RuleBase>& rule);
  /// Active rule sets of unarchived tasks (no order). On a fetch error logs "Error on getting
  /// active rule sets" and returns an empty list.
  std::vector<std::shared_ptr<RuleSet>> getActiveRuleSets();
  /// Switches a rule on or off; a combination switches its children along. A rule inside an
  /// inactive combination is not switched on alone.
  void setRuleIsActive(const std::shared_ptr<RuleBase>& rule, bool isActive);
  /// False when `beMoveTo` is given and any of `rules` is a combination (they do not nest).
  bool canRules(const std::vector<std::shared_ptr<RuleBase>>& rules,
                const std::shared_ptr<RuleCombination>& beMoveTo) const;
  /// Moves `rules` to `index` among the top-level rules of `inRuleSet` (no `to`) or the
  /// children of `to`, keeping their relative order, and renumbers the destination. Rules
  /// moved into a combination take its `active`; rules leaving an inactive combination become
  /// active. Nothing changes when the move is not allowed or `index` exceeds the sibling count.
  void moveRules(const std::vector<std::shared_ptr<RuleBase>>& rules, const std::shared_ptr<RuleSet>& inRuleSet,
                 const std::shared_ptr<RuleCombination>& to, std::size_t index);
  /// Deletes the activity-log entry.
  void deleteActivityLogEntry(ALEntry& activityLogEntry);

 private:
  /// confirmedRevenue from hourlyRate and the effective duration, in hundredths.
  void recalculateRevenue(Session& timeEntry);
  /// The top-level nodes of both kinds with `archived` equal to the given state, by order.
  std::vector<std::shared_ptr<Node>> topLevelNodes(bool archived);

  Logger log_;
  std::shared_ptr<ObjectContext> context_;
  NodeSet nodesWantUpdateConfirmedDuration_;
};

}  // namespace chronelle
