// Writes of time entries.
//
// No temporary with a destructor ever sits inside a co_await expression, because g++ 12
// may destroy such a temporary twice: operations without work after the write return the
// write's awaitable directly, the others start it in a statement of its own and await the
// named awaitable.

#include <utility>

#include "MainDataProviderShared.h"
#include "SaveWithRecount.h"
#include "chronelle/data/ErrorDescription.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/support/Logging.h"

namespace chronelle {

asio::awaitable<std::shared_ptr<Session>> MainDataProvider::createTimeEntry(
    Date begin, std::optional<Date> end, ObjectID taskId, bool isStartedByAutoTracking,
    std::optional<std::string> notes) {
  auto block = [shared = shared_, begin, end, taskId, isStartedByAutoTracking, notes](
                   ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher&) {
    auto entry = modifier.newTimeEntry();
    // The modifier floors the instants, books the entry on the task (marking it running when
    // there is no end) and takes the task's billing settings.
    const TimeEntryChanges changes{
        {TimeEntryChangeKey::begin, begin},
        {TimeEntryChangeKey::end, end},
        {TimeEntryChangeKey::taskId, taskId},
        {TimeEntryChangeKey::notes, notes},
    };
    modifier.updateTimeEntry(*entry, changes);
    entry->setAutotracked(isStartedByAutoTracking);
    saveWithRecount(recountStateOf(*shared), modifier, context);
    return entry->objectID();
  };
  auto write = executeWriteOperation(std::move(block));
  const ObjectID id = co_await std::move(write);
  co_return lookUpAfterWrite<Session>(id);
}

asio::awaitable<void> MainDataProvider::updateTimeEntry(ObjectID id, TimeEntryChanges changes) {
  return executeWriteOperation(
      [shared = shared_, id, changes = std::move(changes)](
          ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher& fetcher) {
        modifier.updateTimeEntry(*fetcher.fetchObject<Session>(id), changes);
        saveWithRecount(recountStateOf(*shared), modifier, context);
      });
}

asio::awaitable<void> MainDataProvider::updateTimeEntries(std::vector<ObjectID> ids,
                                                          TimeEntryChanges changes) {
  return executeWriteOperation(
      [shared = shared_, ids = std::move(ids), changes = std::move(changes)](
          ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher& fetcher) {
        for (const auto& entry : fetcher.fetchObjects<Session>(ids))
          modifier.updateTimeEntry(*entry, changes);
        saveWithRecount(recountStateOf(*shared), modifier, context);
      });
}

asio::awaitable<void> MainDataProvider::deleteTimeEntries(
    std::vector<std::shared_ptr<Session>> timeEntries) {
  return executeWriteOperation(
      [shared = shared_, timeEntries = std::move(timeEntries)](
          ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher&) {
        for (const auto& entry : timeEntries) {
          if (entry) modifier.deleteTimeEntry(*entry);
        }
        try {
          saveWithRecount(recountStateOf(*shared), modifier, context);
        } catch (const std::exception& error) {
          // The deletions are still pending: the write path saves them once more and reports
          // that save's error to the caller.
          logDebug(Logger(LogLabel::data), "Saving deleted time entries failed",
                   LogData{{"error", MetadataValue::stringConvertible(describeError(error))}});
        }
      });
}

asio::awaitable<std::shared_ptr<Session>> MainDataProvider::duplicateTimeEntry(
    std::shared_ptr<Session> timeEntry, bool withNotes) {
  return executeWriteOperation(
      [shared = shared_, timeEntry = std::move(timeEntry), withNotes](
          ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher&) {
        auto copy = modifier.duplicateTimeEntry(*timeEntry, withNotes);
        saveWithRecount(recountStateOf(*shared), modifier, context);
        return copy;
      });
}

}  // namespace chronelle
