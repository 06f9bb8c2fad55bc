// The change notification: every save of the view context is followed by the recomputation
// of the confirmed durations it made stale (in the same transaction for writes of entries)
// and then by one "mainContextDidChange".

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <string>
#include <utility>

#include "MainDataProviderShared.h"
#include "chronelle/data/ErrorDescription.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/RuleBase.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/MainQueue.h"
#include "chronelle/store/UndoManager.h"
#include "chronelle/support/Logging.h"

namespace chronelle {
namespace {

// The kind bit of a stored object; none for objects of other entities.
ContextChanges::Entity kindOf(const ManagedObject* object) {
  if (dynamic_cast<const Task*>(object)) return ContextChanges::Entity::task;
  if (dynamic_cast<const Folder*>(object)) return ContextChanges::Entity::folder;
  if (dynamic_cast<const Session*>(object)) return ContextChanges::Entity::session;
  if (dynamic_cast<const RuleSet*>(object)) return ContextChanges::Entity::ruleSet;
  if (dynamic_cast<const RuleBase*>(object)) return ContextChanges::Entity::rule;
  if (dynamic_cast<const ALEntry*>(object)) return ContextChanges::Entity::alEntry;
  return {};
}

// The kind bit of an object ID, read from its URI text: the first fragment found decides.
// "ALEntry" has no slash so the browser and document entries count too; rules and
// combinations match nothing (their URIs name "Rule" and "RuleCombination").
ContextChanges::Entity kindOf(const ObjectID& id) {
  static const std::pair<const char*, ContextChanges::Entity> fragments[] = {
      {"/Task", ContextChanges::Entity::task},       {"/Folder", ContextChanges::Entity::folder},
      {"/Session", ContextChanges::Entity::session}, {"/RuleSet", ContextChanges::Entity::ruleSet},
      {"/RuleBase", ContextChanges::Entity::rule},   {"ALEntry", ContextChanges::Entity::alEntry},
  };
  const std::string uri = id.uriRepresentation();
  for (const auto& [fragment, kind] : fragments) {
    if (uri.find(fragment) != std::string::npos) return kind;
  }
  return {};
}

template <class Set>
ContextChanges::Entity kindsIn(const Notification& notification, const char* key) {
  ContextChanges::Entity kinds;
  if (const auto* set = notification.value<Set>(key)) {
    for (const auto& element : *set) {
      if constexpr (std::is_same_v<Set, ObjectSet>) {
        kinds |= kindOf(element.get());
      } else {
        kinds |= kindOf(element);
      }
    }
  }
  return kinds;
}

// The recount: its state, and its save unannounced.

// The provider's state that the recount reads and sets (its fields, by reference).
struct RecountState {
  /// Set while the recount is saved, so that save is not announced as a change of its own.
  bool& ignoreContextDidChangeNotifications;
  /// Set by an undo or redo: the next recount checks every task and folder.
  bool& recountAllAfterNextSave;
  /// Where a failed recount is logged.
  const Logger& log;
};

// The recount state of the provider's shared part (a template, as that type is private).
template <class Shared>
RecountState recountStateOf(Shared& shared) {
  return {shared.ignoreContextDidChangeNotifications, shared.recountAllAfterNextSave, shared.log};
}

// A save whose "did save" is posted with the provider's "ignore" flag up, so the provider does
// not announce it as a change of its own. The flag is up while the notification is posted,
// which inside a transaction is at its commit, and goes back down also when an observer throws.
void saveUnannounced(const RecountState& state, ObjectContext& context) {
  ObjectContext::SaveOptions unannounced;
  unannounced.aroundDidSave = [&flag = state.ignoreContextDidChangeNotifications](
                                  const std::function<void()>& post) {
    struct Ignore {
      bool& flag;
      explicit Ignore(bool& f) : flag(f) { flag = true; }
      ~Ignore() { flag = false; }
    } ignore(flag);
    post();
  };
  context.save(unannounced);
}

// Saves unannounced what is left to save after the write's own save (the recount, or edits an
// observer made when that save was announced); a failure is logged and its changes dropped, as
// it does not undo the write. Part of the write's own undo step: undoing the write recounts again.
void saveAfterTheWrite(const RecountState& state, ObjectContext& context,
                       const std::function<void()>& save) {
  struct NoUndo {
    UndoManager* undo;
    explicit NoUndo(UndoManager* u) : undo(u) {
      if (undo) undo->disableUndoRegistration();
    }
    ~NoUndo() {
      if (undo) undo->enableUndoRegistration();
    }
  } noUndo(context.undoManager());
  try {
    save();
  } catch (const std::exception& error) {
    chronelle::logError(state.log, "Error on contextDidSave",
                        MetadataValue::stringConvertible(describeError(error)));
    // The totals stay stale, as after a failed recount write; the write itself is saved.
    for (const auto& object : context.updatedObjects()) context.refresh(object, false);
  }
}

// Recomputes the confirmed durations that the saves so far made stale (every task and
// folder after an undo or redo) and saves them without announcing that save (its "did
// save" is posted with `ignoreContextDidChangeNotifications` set). Returns whether it
// saved. Throws what the save throws. Main thread, inside a write.
bool saveRecountedDurations(const RecountState& state, DataModifier& modifier,
                            ObjectContext& context) {
  bool recounted = modifier.updateNodesConfirmedDurationsIfNeeded();
  if (std::exchange(state.recountAllAfterNextSave, false)) {
    recounted = !modifier.repairConfirmedDurations().empty() || recounted;
  }
  if (!recounted || !context.hasChanges()) return false;
  saveUnannounced(state, context);
  return true;
}

}  // namespace

void MainDataProvider::saveWithRecountInOneTransaction(Shared& shared, DataModifier& modifier,
                                                       ObjectContext& context,
                                                       const std::function<void()>& block) {
  const RecountState state = recountStateOf(shared);
  // The recount reads the entries as saved (the store's sums, through the transaction's own
  // connection), so the write's save comes first; both commit together, so no crash can
  // leave the entries saved and their totals stale.
  context.performInTransaction([&] {
    block();
    context.save();
    saveAfterTheWrite(state, context, [&] { saveRecountedDurations(state, modifier, context); });
  });
  // The saves are announced after the commit; what observers changed then is saved with the
  // write, as the recount's save took it up when the announcement came before it.
  if (context.hasChanges()) saveAfterTheWrite(state, context, [&] { saveUnannounced(state, context); });
}

// The further write that follows a save: recompute what the save made stale, save that
// unannounced, then announce the original save on the main queue.
asio::awaitable<void> MainDataProvider::recomputeAndAnnounce(std::shared_ptr<Shared> shared,
                                                             std::shared_ptr<DataModifier> modifier,
                                                             std::shared_ptr<CoreDataStack> stack,
                                                             Notification notification) {
  try {
    CoreDataStack::WriteBlock recompute = [shared, modifier](ObjectContext& context) -> std::any {
      saveRecountedDurations(recountStateOf(*shared), *modifier, context);
      return WriteDone{};
    };
    // Not an undo step of its own: undoing a write must take back the write, and the recount
    // that follows the undo's save puts the totals right again.
    auto write = awaitWrite(*stack, recompute, true);
    co_await std::move(write);
  } catch (const std::exception& error) {
    chronelle::logError(shared->log, "Error on contextDidSave",
                        MetadataValue::stringConvertible(describeError(error)));
  }

  const auto changes = MainDataProvider::getChangesFromContextDidSaveNotification(notification);
  chronelle::logDebug(shared->log, "posting mainContextDidChange notification",
                      LogData{{"changes", changes}});
  UserInfo info;
  if (changes) info[DataNotifications::contextChangesKey] = *changes;
  for (const char* key :
       {DataNotifications::insertedObjectsKey, DataNotifications::updatedObjectsKey,
        DataNotifications::deletedObjectsKey}) {
    if (auto it = notification.userInfo.find(key); it != notification.userInfo.end())
      info[key] = it->second;
  }
  MainQueue::shared().post([info = std::move(info)] {
    NotificationCenter::defaultCenter().post(DataNotifications::mainContextDidChange, nullptr,
                                             info);
  });
}

void MainDataProvider::contextDidSave(const Notification& notification) {
  if (notification.userInfo.empty()) return;
  if (shared_->ignoreContextDidChangeNotifications) return;
  // Runs after the save has returned: its write queues behind the write that saved.
  asio::co_spawn(MainQueue::shared().executor(),
                 recomputeAndAnnounce(shared_, modifier_, coreDataStack(), notification),
                 asio::detached);
}

void MainDataProvider::contextDidMergeFromParent(const Notification& notification) {
  const auto changes = getChangesFromMergeNotification(notification);
  logDebug(shared_->log, "posting mainContextDidChange notification",
           LogData{{"changes", changes}});
  UserInfo info;
  if (changes) info[DataNotifications::contextChangesKey] = *changes;
  NotificationCenter::defaultCenter().post(DataNotifications::mainContextDidChange, nullptr,
                                           std::move(info));
}

std::optional<ContextChanges> MainDataProvider::getChangesFromContextDidSaveNotification(
    const Notification& notification) {
  if (notification.userInfo.empty()) return std::nullopt;
  ContextChanges changes;
  changes.inserts = kindsIn<ObjectSet>(notification, ObjectContext::kInsertedObjectsKey);
  changes.updates = kindsIn<ObjectSet>(notification, ObjectContext::kUpdatedObjectsKey);
  changes.deletes = kindsIn<ObjectSet>(notification, ObjectContext::kDeletedObjectsKey);
  return changes;
}

std::optional<ContextChanges> MainDataProvider::getChangesFromMergeNotification(
    const Notification& notification) {
  if (notification.userInfo.empty()) return std::nullopt;
  ContextChanges changes;
  changes.inserts = kindsIn<ObjectIDSet>(notification, ObjectContext::kInsertedObjectIDsKey);
  changes.updates = kindsIn<ObjectIDSet>(notification, ObjectContext::kUpdatedObjectIDsKey);
  changes.deletes = kindsIn<ObjectIDSet>(notification, ObjectContext::kDeletedObjectIDsKey);
  return changes;
}

}  // namespace chronelle
