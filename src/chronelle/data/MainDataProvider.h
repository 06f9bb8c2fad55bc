#pragma once

#include <any>
#include <asio/awaitable.hpp>
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#include "chronelle/data/BaseDataProvider.h"
#include "chronelle/data/CoreDataStack.h"
#include "chronelle/data/DataModifier.h"
#include "chronelle/data/DataNotifications.h"
#include "chronelle/data/MoveNodeOption.h"
#include "chronelle/data/StaleConfirmedDuration.h"
#include "chronelle/data/NodeChangeKey.h"
#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/model/ContextChanges.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/NotificationCenter.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

/// A write block of MainDataProvider: called with the view context, the provider's modifier
/// and its object fetcher, inside one write operation.
template <class F>
concept ProviderWriteBlock =
    std::invocable<F&, ObjectContext&, DataModifier&, const ManagedObjectFetcher&>;

/// The one object through which the application changes stored data; it also answers every
/// read (BaseDataProvider). Each write operation is one write of the stack's serial write path
/// on the view context: the block edits through `modifier()`, the context is saved, and on any
/// error the view context is rolled back and the awaiting caller gets the error.
///
/// After every save of the view context the provider recomputes the confirmed durations the
/// save made stale (in a further write whose own save is not announced), then posts
/// DataNotifications::mainContextDidChange on the main queue. Writes of time entries save
/// that recount in the same store transaction as the entries (the further write then finds
/// nothing left to do), so no crash can leave their totals stale. Merges of changes saved
/// elsewhere are announced at once.
///
/// Create one on the main thread after the CoreDataStack is registered in the Injector's
/// container; it always works on that stack's view context. The public write operations may
/// be awaited from a coroutine of any executor: their blocks, the look-ups after a write, the
/// merge's preparation and the archive notices run on the main queue (the caller resumes on
/// its own executor, and the objects returned belong to the view context: read them on the
/// main queue). Everything else is main-queue only. Not thread-safe otherwise.
class MainDataProvider : public BaseDataProvider {
 public:
  /// How mergeSessions forms the length of the new entry.
  enum class SessionMergeType {
    /// From the earliest begin, lasting the sum of the merged entries' durations.
    byPushingSessionsTogether,
    /// From the earliest begin to the latest end; the gaps become part of it.
    byFillingTimeBetweenSessions,
  };
  /// Errors of mergeSessions, thrown as std::system_error (compare `e.code()` with the case).
  enum class MergeSessionsErrors {
    /// No task has the given identifier; nothing was changed.
    selectedTaskDoesNotExist = 1,
  };
  /// One step of `moveNodes` (see MoveNodeOption.h).
  using MoveNodeOption = chronelle::MoveNodeOption;
  /// What awaiting a write of block F yields: its result with one std::optional removed.
  template <class F>
  using WriteResultOf = typename CoreDataStack::WriteResult<
      std::invoke_result_t<F&, ObjectContext&, DataModifier&, const ManagedObjectFetcher&>>::type;

  /// Resolves the CoreDataStack from the Injector's container (it must be registered: the
  /// container aborts otherwise) and works on its view context. `context` is
  /// accepted for symmetry with BaseDataProvider and not used. Starts observing the view
  /// context's did-save and did-merge notifications until destruction.
  ///@{
  explicit MainDataProvider(std::shared_ptr<ObjectContext> context = nullptr);
  ~MainDataProvider() override;
  ///@}

  /// The mutation worker every write uses. Use it only inside write blocks.
  DataModifier& modifier() const { return *modifier_; }
  /// True only while the recomputed confirmed durations are being saved.
  bool ignoreContextDidChangeNotifications() const;

  /// \name Generic write
  ///@{

  /// Runs `block(viewContext, modifier, objectFetcher)` as one write operation (saved when it
  /// left changes) and returns its value. A block returning std::optional<T> yields T and an
  /// empty optional throws CoreDataStack::WriteOperationError::unexpectedNilAsResult. Errors of
  /// the block or the save are thrown after the view context was rolled back. For callers
  /// that need several edits in one write (one undo step, one notification).
  template <ProviderWriteBlock F>
  asio::awaitable<WriteResultOf<F>> executeWriteOperation(F block,
                                                          bool shouldDisableUndoRegistration = false);
  ///@}

  /// \name Time entries
  ///@{

  /// A new entry on the task `taskId` from `begin` to `end` (running without one), floored to
  /// whole seconds, with the task's billing settings, `autotracked` = the flag and the notes.
  /// A running entry marks its task and folders as running. Returns the saved entry as the view
  /// context holds it. Throws when the save or the lookup afterwards fails; a `taskId` that is
  /// not a task leaves the entry without a task (the save then still succeeds).
  asio::awaitable<std::shared_ptr<Session>> createTimeEntry(Date begin, std::optional<Date> end,
                                                            ObjectID taskId,
                                                            bool isStartedByAutoTracking,
                                                            std::optional<std::string> notes);
  /// Applies `changes` (see DataModifier::updateTimeEntry) to the entry `id`. Throws the
  /// lookup's error (StoreError kObjectNotFound, ManagedObjectFetcherError) or the save's.
  asio::awaitable<void> updateTimeEntry(ObjectID id, TimeEntryChanges changes);
  /// Applies the same change set to each entry in order and saves once. The first failing
  /// lookup ends the write before anything is changed.
  asio::awaitable<void> updateTimeEntries(std::vector<ObjectID> ids, TimeEntryChanges changes);
  /// Deletes the entries (objects of the view context) and records their tasks for the
  /// duration recomputation. Throws the save's error.
  asio::awaitable<void> deleteTimeEntries(std::vector<std::shared_ptr<Session>> timeEntries);
  /// A copy of `timeEntry` (see DataModifier::duplicateTimeEntry), saved; the copy.
  asio::awaitable<std::shared_ptr<Session>> duplicateTimeEntry(std::shared_ptr<Session> timeEntry,
                                                               bool withNotes);
  ///@}

  /// \name Folders and tasks
  ///@{

  /// A new task (folder) with `data` applied (see DataModifier::updateNode), saved and looked
  /// up again. A blank or missing name fails the save (StoreError 1570): nothing is kept.
  asio::awaitable<std::shared_ptr<Task>> createTask(NodeChanges data);
  asio::awaitable<std::shared_ptr<Folder>> createFolder(NodeChanges data);
  /// Applies `changes` to the node `id`. Throws the lookup's or the save's error.
  asio::awaitable<void> updateNode(ObjectID id, NodeChanges changes);
  /// Deletes the nodes with their subtrees and entries. Siblings are not renumbered.
  asio::awaitable<void> deleteNodes(std::vector<ObjectID> ids);
  /// Archives (unarchives) the nodes that are not (are) archived, with their subtrees, and with
  /// `moveToRoot` places each last among the archived (active) top-level nodes. After the
  /// write, posts DataNotifications::didArchiveNodes (didUnarchiveNodes) with this provider as
  /// object and `ids`, exactly as given, under "nodeIds"; nothing is posted when it throws.
  asio::awaitable<void> archiveNodes(std::vector<ObjectID> ids, bool moveToRoot);
  asio::awaitable<void> unarchiveNodes(std::vector<ObjectID> ids, bool moveToRoot);
  /// Moves each node in order (see DataModifier::updateNode with a parent and an order).
  /// Throws StoreError when a node is not found and ManagedObjectFetcherError::
  /// wrongExpectedReturnObjectType when it is not a node; nothing is saved then.
  asio::awaitable<void> moveNodes(std::vector<MoveNodeOption> options);
  /// Sorts the children of the folder `in` (the active top-level nodes without one) by name and
  /// renumbers them. Throws the folder lookup's error.
  asio::awaitable<void> sortNodesByName(std::optional<ObjectID> in);
  ///@}

  /// \name Rules and the activity log
  ///@{

  /// Adds a copy of `rule` (a template, not changed or inserted; read in the write, on the main
  /// thread) to the rule set of the task `taskId`, creating the set (start type index 1, pause
  /// type index 2) when the task has none. Throws the task lookup's error.
  asio::awaitable<void> createRule(std::shared_ptr<Rule> rule, ObjectID taskId);
  /// Deletes the activity-log entries among `ids`; IDs that are not found or not entries are
  /// skipped. Saves only when something was deleted.
  asio::awaitable<void> deleteActivityLogs(std::vector<ObjectID> ids);
  /// Deletes every activity-log entry of every kind.
  asio::awaitable<void> deleteAllActivityLogs();
  ///@}

  /// \name Merging time entries
  ///@{

  /// Replaces the finished entries among `sessionIds` (`identifier` strings; unknown ones and
  /// running entries are left out) by one new entry on the task with identifier `taskId`,
  /// formed by `mergeType`, with the united notes and the common billing status (when they
  /// share one). Throws std::system_error(selectedTaskDoesNotExist) before writing when there
  /// is no such task; does nothing when no finished entry is left; throws the save's error.
  asio::awaitable<void> mergeSessions(std::vector<std::string> sessionIds, std::string taskId,
                                      SessionMergeType mergeType);

  /// Helpers of the merge over entries (objects of the view context). The earliest `begin`;
  /// absent for an empty list.
  static std::optional<Date> getEarliestBegin(const std::vector<std::shared_ptr<Session>>& entries);
  /// The latest `end`, a running entry counting as now; absent for an empty list.
  static std::optional<Date> getLatestEnd(const std::vector<std::shared_ptr<Session>>& entries);
  /// The notes of the entries that have any (an empty text counts), in list order, joined by
  /// "\n"; absent when none has notes.
  static std::optional<std::string> getUnitedNotes(
      const std::vector<std::shared_ptr<Session>>& entries);
  /// The billing status shared by every entry; absent for an empty list or when two differ.
  static std::optional<BillingStatus> getUnifiedBillingStatus(
      const std::vector<std::shared_ptr<Session>>& entries);
  ///@}

  /// \name Stored totals
  ///@{

  /// The tasks and folders whose stored confirmed duration disagrees with their saved entries
  /// (see DataModifier::verifyConfirmedDurations), objects of the view context, in tree order;
  /// empty when all agree. Synchronous, main thread; throws the store's error, so a failed
  /// check is never taken for a clean one.
  std::vector<StaleConfirmedDuration> verifyConfirmedDurations() const;
  /// Recomputes every task from its saved entries and every folder from its children, as one
  /// write that saves once (nothing is saved when all agree), and returns what it repaired.
  /// Throws the store's error after rolling back.
  asio::awaitable<std::vector<StaleConfirmedDuration>> repairConfirmedDurations();
  ///@}

  /// \name Undo (main thread)
  ///@{

  /// Forwarded to the view context's undo manager; nothing happens while it has none. The
  /// stack saves every undo and redo at once.
  void undo();
  void redo();
  void disableUndoRegistration();
  void enableUndoRegistration();
  ///@}

  /// \name Notification handlers (called by the notification centre)
  ///@{

  /// A save of the view context: unless the notification has no user info or saves are being
  /// ignored, queues the recomputation of the stale confirmed durations as a further write
  /// (its failure is logged as "Error on contextDidSave") and then posts mainContextDidChange
  /// on the main queue with the save's ContextChanges and its three object sets.
  void contextDidSave(const Notification& notification);
  /// A merge into the view context: posts mainContextDidChange at once, on the calling
  /// thread, with only the ContextChanges.
  void contextDidMergeFromParent(const Notification& notification);

  /// The kinds of objects in a did-save notification's inserted, updated and deleted object
  /// sets (tasks, folders, entries, rule sets, rules and combinations, activity-log entries of
  /// every kind); absent when it has no user info. Missing or mistyped keys add nothing.
  static std::optional<ContextChanges> getChangesFromContextDidSaveNotification(
      const Notification& notification);
  /// The same over a merge notification's object-ID sets, classified by the ID's URI text:
  /// the first of "/Task", "/Folder", "/Session", "/RuleSet", "/RuleBase", "ALEntry" that it
  /// contains decides (so IDs of rules and combinations add nothing).
  static std::optional<ContextChanges> getChangesFromMergeNotification(
      const Notification& notification);
  ///@}

 private:
  /// What the save handler's deferred work needs; shared so that work stays safe when the
  /// provider goes away before it has run.
  struct Shared;
  /// The result of a write block that returns nothing.
  struct WriteDone {};

  /// The object `id` as a T of the view context, looked up on the main queue: a caller may
  /// await a write from another executor and resume there. Throws the fetcher's errors.
  template <class T>
  std::shared_ptr<T> lookUpAfterWrite(const ObjectID& id) const {
    std::shared_ptr<T> found;
    context()->performAndWait([&] { found = objectFetcher().fetchObject<T>(id); });
    return found;
  }
  /// Posts the archive notification `name` with `ids` under "nodeIds", on the main queue.
  void postOnMainQueue(const char* name, std::vector<ObjectID> ids);

  /// Runs `block` through the stack's serial write path and resumes the caller on its own
  /// executor with the block's result (empty for "no value") or rethrows the error. `stack`
  /// and `block` must live until the returned awaitable completes (the caller co_awaits it at
  /// once). Unlike CoreDataStack's awaitable form it keeps no temporary with a destructor in a
  /// co_await expression: g++ 12 may destroy such a temporary twice, which releases the view
  /// context once too often.
  static asio::awaitable<std::any> awaitWrite(CoreDataStack& stack,
                                              CoreDataStack::WriteBlock& block,
                                              bool shouldDisableUndoRegistration);

  /// The save handler's deferred work: the recomputation as a further write, then the
  /// announcement of the save on the main queue.
  static asio::awaitable<void> recomputeAndAnnounce(std::shared_ptr<Shared> shared,
                                                    std::shared_ptr<DataModifier> modifier,
                                                    std::shared_ptr<CoreDataStack> stack,
                                                    Notification notification);

  /// A write of entries: like executeWriteOperation, except that the block's changes are
  /// saved together with the recount of the totals they made stale, in one store
  /// transaction, before the write returns (see saveWithRecountInOneTransaction).
  template <ProviderWriteBlock F>
  asio::awaitable<WriteResultOf<F>> executeEntryWrite(F block);
  /// The two above: `withRecount` picks the entries' way of saving.
  template <ProviderWriteBlock F>
  asio::awaitable<WriteResultOf<F>> runWrite(F block, bool shouldDisableUndoRegistration,
                                             bool withRecount);
  /// Runs `block`, then saves the view context and recounts and saves the totals that save
  /// made stale, all in one transaction of `context`: the entries and their totals reach the
  /// disk in one synced commit, or nothing does and the context is as it was. The recount's
  /// save is not announced; a failed recount is logged ("Error on contextDidSave") and
  /// dropped without failing the write. Throws what `block`, the save or the commit throws.
  static void saveWithRecountInOneTransaction(Shared& shared, DataModifier& modifier,
                                              ObjectContext& context,
                                              const std::function<void()>& block);

  /// Shared with the save handler's deferred work and with queued write blocks.
  ///@{
  std::shared_ptr<DataModifier> modifier_;
  std::shared_ptr<Shared> shared_;
  ///@}
  /// Declared last: unregistered first on destruction.
  ///@{
  ObserverToken didSaveObserver_;
  ObserverToken didMergeObserver_;
  ObserverToken didUndoObserver_;
  ObserverToken didRedoObserver_;
  ///@}
};

/// The category "MainDataProvider.MergeSessionsErrors". Thread-safe singleton.
const std::error_category& mergeSessionsErrorsCategory();
std::error_code make_error_code(MainDataProvider::MergeSessionsErrors error);

template <ProviderWriteBlock F>
asio::awaitable<MainDataProvider::WriteResultOf<F>> MainDataProvider::executeWriteOperation(
    F block, bool shouldDisableUndoRegistration) {
  return runWrite(std::move(block), shouldDisableUndoRegistration, false);
}

template <ProviderWriteBlock F>
asio::awaitable<MainDataProvider::WriteResultOf<F>> MainDataProvider::executeEntryWrite(F block) {
  return runWrite(std::move(block), false, true);
}

template <ProviderWriteBlock F>
asio::awaitable<MainDataProvider::WriteResultOf<F>> MainDataProvider::runWrite(
    F block, bool shouldDisableUndoRegistration, bool withRecount) {
  using R = std::invoke_result_t<F&, ObjectContext&, DataModifier&, const ManagedObjectFetcher&>;
  using T = WriteResultOf<F>;
  static_assert(std::is_void_v<T> || std::is_copy_constructible_v<T>,
                "write results travel in std::any");

  // Everything the block needs is captured by value, so the write stays valid if it is
  // still queued when the caller gives up on it.
  auto stack = coreDataStack();
  CoreDataStack::WriteBlock erased =
      [block = std::move(block), modifier = modifier_, fetcher = objectFetcher(),
       shared = withRecount ? shared_ : nullptr](ObjectContext& context) mutable -> std::any {
    const auto run = [&]() -> std::any {
      if constexpr (std::is_void_v<R>) {
        block(context, *modifier, std::as_const(fetcher));
        return WriteDone{};
      } else if constexpr (!std::is_same_v<R, T>) {  // std::optional<T>
        auto result = block(context, *modifier, std::as_const(fetcher));
        if (!result) return {};
        return std::any(std::move(*result));
      } else {
        return std::any(block(context, *modifier, std::as_const(fetcher)));
      }
    };
    if (!shared) return run();
    std::any result;
    saveWithRecountInOneTransaction(*shared, *modifier, context, [&] { result = run(); });
    return result;
  };
  auto write = awaitWrite(*stack, erased, shouldDisableUndoRegistration);
  std::any result = co_await std::move(write);
  if (!result.has_value()) {
    throw std::system_error(
        make_error_code(CoreDataStack::WriteOperationError::unexpectedNilAsResult));
  }
  if constexpr (!std::is_void_v<T>) co_return std::any_cast<T>(std::move(result));
}

}  // namespace chronelle

template <>
struct std::is_error_code_enum<chronelle::MainDataProvider::MergeSessionsErrors> : std::true_type {
};
