#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chronelle/data/ManagedObjectFetcher.h"
#include "chronelle/data/SessionQuery3.h"
#include "chronelle/model/FlatNodeStuctureItem.h"
#include "chronelle/model/NodeFilter.h"
#include "chronelle/model/NodeSet.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/Logger.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

class ALEntry;
class CoreDataStack;
class Folder;
class Node;
class Rule;
class RuleBase;
class RuleCombination;
class RuleSet;
class Session;
class Task;
struct TimeEntryRow;

/// The read side of the library: folders, tasks, time entries, counts, rule sets and the
/// activity log, read from one context (the application's provider uses the stack's view
/// context); plus small rule edits, a save that recovers from a blank node name, and object
/// references kept in the user defaults. MainDataProvider adds the writes.
///
/// Reads never throw: a store error is logged under the label "Data" with a fixed message
/// and the read returns its empty result (empty list, null, 0), so callers cannot tell an
/// error from an empty store. Reads, `deleteRule`, `getObject` and
/// `managedObjectFromUserDefaults` run inside the context's performAndWait and may be called
/// from any thread (they block it until the context's queue has run them; from the main
/// thread a view-context read runs at once). Everything else must be called on the
/// context's queue. Returned objects belong to the context and are shared with it.
class BaseDataProvider {
 public:
  /// Reads and edits through `context`, which must not be null.
  ///@{
  explicit BaseDataProvider(std::shared_ptr<ObjectContext> context);
  virtual ~BaseDataProvider();
  BaseDataProvider(const BaseDataProvider&) = delete;
  ///@}
  BaseDataProvider& operator=(const BaseDataProvider&) = delete;

  /// The context every read runs in (the view context for the main provider). Never null.
  const std::shared_ptr<ObjectContext>& context() const { return context_; }
  /// Looks objects up by identifier or object ID in `context()`.
  const ManagedObjectFetcher& objectFetcher() const { return objectFetcher_; }
  /// The stack, resolved from the Injector's container on first use (it must be registered
  /// by then) and kept. Thread-safe.
  std::shared_ptr<CoreDataStack> coreDataStack() const;

  /// \name Tasks and folders
  ///@{

  /// Number of tasks (count only). 0 on error.
  std::size_t getTotalTasksCount() const;
  /// Every task; without archived ones unless `includeArchived` (a task whose flag was
  /// never set counts as not archived).
  std::vector<std::shared_ptr<Task>> getAllTasks(bool includeArchived) const;
  /// The first task / folder with that identifier, or null.
  std::shared_ptr<Task> getTask(const std::string& identifier) const;
  std::shared_ptr<Folder> getFolder(const std::string& identifier) const;
  /// Every unarchived task on which an entry was ever started, by `order`. `limit` is only
  /// the fetch batch size: all matching tasks are returned.
  std::vector<std::shared_ptr<Task>> getRecentTasks(std::size_t limit) const;
  /// The children of `folder` of the filter's node type, by `order`, archived or not; with
  /// no folder, the top-level nodes of that type in the filter's archived state.
  std::vector<std::shared_ptr<Node>> getChildren(const std::shared_ptr<Folder>& folder, const NodeFilter& filter) const;
  /// The tree below `insideFolder` (the whole tree when null), depth first, each folder
  /// right before its contents, with levels from 0. Archived nodes are left out at the top
  /// level only, unless `includeArchived`. Tasks are listed when `includeTasks`; a folder's
  /// `hasChildren` says whether its own listing is not empty.
  std::vector<FlatNodeStuctureItem> getFlatNodeStructure(const std::shared_ptr<Folder>& insideFolder,
                                                         bool includeTasks, bool includeArchived) const;
  /// Every task among `ofNodes` or below them, each once. Does not fetch.
  TaskSet getTasks(const std::vector<std::shared_ptr<Node>>& ofNodes) const;
  ///@}

  /// \name Time entries
  ///@{

  /// The entries matching `query` (edge entries and running entries included), or every
  /// entry without a query; by `begin`.
  std::vector<std::shared_ptr<Session>> getSessions(const std::optional<SessionQuery3>& query) const;
  /// The entries of `getSessions(query)`, in its order, as rows handed to `row` one at a time,
  /// so that reading a year of them keeps few in memory. `row` must not use the context or
  /// throw. False after a store error (logged as getSessions does), when rows read before it
  /// may already have been handed over.
  bool enumerateSessionRows(const std::optional<SessionQuery3>& query,
                            const std::function<void(const TimeEntryRow&)>& row) const;
  /// The first entry with that identifier, or null.
  std::shared_ptr<Session> getSession(const std::string& identifier) const;
  /// Number of entries of the tasks among and below `forNodes`; of all entries when there
  /// is no such task.
  std::size_t getSessionCount(const std::vector<std::shared_ptr<Node>>& forNodes) const;
  /// The entry with the earliest begin among `in`'s tasks (among all entries for an empty
  /// set), or null.
  std::shared_ptr<Session> getOldestSession(const TaskSet& in) const;
  /// The entry with the latest end among `in`'s tasks; null for an empty set.
  std::shared_ptr<Session> getLatestTimeEntry(const TaskSet& in) const;
  /// Entries without an end, by `begin`.
  std::vector<std::shared_ptr<Session>> getRunningTimeEntries() const;
  ///@}

  /// \name Rules and activity log
  ///@{

  /// Active rule sets of unarchived tasks.
  std::vector<std::shared_ptr<RuleSet>> getActiveRuleSets() const;
  /// Activity-log entries that begin in, end in or span [from, to]; with one bound, those
  /// ending after `from` / beginning before `to`; all without bounds. Entries still being
  /// recorded are refreshed from the store, keeping unsaved changes. Runs directly on the
  /// calling thread (the context's queue), not inside performAndWait.
  std::vector<std::shared_ptr<ALEntry>> getActivityLogs(std::optional<Date> from, std::optional<Date> to) const;
  ///@}

  /// \name Objects
  ///@{

  /// The object with `id`, or null when the lookup fails. Logs nothing.
  std::shared_ptr<ManagedObject> getObject(const ObjectID& id) const;
  /// Logs `message` (default "Context operation error") at error level with the error
  /// under "error" and the context's concurrency type under "contextType".
  void handleContextError(const std::exception& error, const std::optional<std::string>& message = std::nullopt) const;
  /// Saves the context when it has changes, then calls `completion` (when given) with the
  /// error or none. A node renamed to a blank name is restored to its saved name and the
  /// save retried; other errors are logged and passed on.
  void saveContext(const std::function<void(const std::optional<StoreError>&)>& completion = nullptr);
  ///@}

  /// \name Rule edits (context queue)
  ///@{

  /// New objects inserted into the context, each with a fresh identifier.
  std::shared_ptr<RuleSet> newRuleSet();
  std::shared_ptr<Rule> newRule();
  std::shared_ptr<RuleCombination> newRuleCombination();
  /// Deletes a rule or combination (inside performAndWait).
  void deleteRule(const std::shared_ptr<RuleBase>& rule);
  /// Switches a rule on or off; a combination switches its children along. A rule inside
  /// an inactive combination cannot be switched on alone (nothing changes).
  void setRuleIsActive(const std::shared_ptr<RuleBase>& rule, bool isActive);
  /// False when `canBeMoveTo` is given and any of `rules` is a combination (combinations do
  /// not nest).
  bool checkThatRules(const std::vector<std::shared_ptr<RuleBase>>& rules,
                      const std::shared_ptr<RuleCombination>& canBeMoveTo) const;
  /// Moves `rules` (rules inside a moved combination travel with it) to position `toIndex`
  /// among the top-level rules of `inRuleSet` (no `to`) or the children of `to`, keeping
  /// their relative order, and renumbers the siblings 0, 1, .... Rules moved into a
  /// combination take its `active`; rules leaving an inactive combination become active.
  /// Nothing changes when the move is not allowed or `toIndex` exceeds the sibling count.
  void moveRules(const std::vector<std::shared_ptr<RuleBase>>& rules, const std::shared_ptr<RuleSet>& inRuleSet,
                 const std::shared_ptr<RuleCombination>& to, std::size_t toIndex);
  ///@}

  /// \name Object references in the user defaults (UserDefaults::standard())
  ///@{

  /// Stores the URI of `object`'s ID under `forKey` and synchronises; null changes nothing.
  void setManagedObjectInUserDefaults(const std::shared_ptr<ManagedObject>& object, const std::string& forKey);
  /// The object whose reference is stored under `forKey`, or null when the key is missing
  /// or any step fails. Logs nothing.
  std::shared_ptr<ManagedObject> managedObjectFromUserDefaults(const std::string& forKey) const;
  /// Removes `key` and synchronises.
  void removeManagedObjectFromUserDefaults(const std::string& key);
  ///@}

 protected:
  /// The provider's logger, for the operations built on it.
  const Logger& log() const { return log_; }

 private:
  /// Runs `body` inside the context's performAndWait; an exception it throws goes to
  /// `onError` instead of the caller.
  ///@{
  void performRead(const std::function<void()>& body,
                   const std::function<void(const std::exception&)>& onError) const;
  void logError(const std::string& message, const std::exception& error) const;
  ///@}

  std::shared_ptr<ObjectContext> context_;
  Logger log_;
  ManagedObjectFetcher objectFetcher_;
  /// Guards the lazily resolved stack.
  mutable std::mutex stackMutex_;
  mutable std::shared_ptr<CoreDataStack> coreDataStack_;
};

}  // namespace chronelle
