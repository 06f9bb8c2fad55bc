// Writes of time entries. Each saves its changes with the recount of the totals they made
// stale in one transaction (executeEntryWrite).
//
// No temporary with a destructor ever sits inside a co_await expression, because g++ 12
// may destroy such a temporary twice: operations without work after the write return the
// write's awaitable directly, the others start it in a statement of its own and await the
// named awaitable.

#include <utility>

#include "MainDataProviderShared.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle {

asio::awaitable<std::shared_ptr<Session>> MainDataProvider::createTimeEntry(
    Date begin, std::optional<Date> end, ObjectID taskId, bool isStartedByAutoTracking,
    std::optional<std::string> notes) {
  auto block = [begin, end, taskId, isStartedByAutoTracking, notes](
                   ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
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
    // Still the temporary ID: the write saves after the block, and the look-up below finds
    // the saved entry under it.
    return entry->objectID();
  };
  auto write = executeEntryWrite(std::move(block));
  const ObjectID id = co_await std::move(write);
  co_return lookUpAfterWrite<Session>(id);
}

asio::awaitable<void> MainDataProvider::updateTimeEntry(ObjectID id, TimeEntryChanges changes) {
  return executeEntryWrite(
      [id, changes = std::move(changes)](
          ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher& fetcher) {
        modifier.updateTimeEntry(*fetcher.fetchObject<Session>(id), changes);
      });
}

asio::awaitable<void> MainDataProvider::updateTimeEntries(std::vector<ObjectID> ids,
                                                          TimeEntryChanges changes) {
  return executeEntryWrite(
      [ids = std::move(ids), changes = std::move(changes)](
          ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher& fetcher) {
        for (const auto& entry : fetcher.fetchObjects<Session>(ids))
          modifier.updateTimeEntry(*entry, changes);
      });
}

asio::awaitable<void> MainDataProvider::deleteTimeEntries(
    std::vector<std::shared_ptr<Session>> timeEntries) {
  return executeEntryWrite(
      [timeEntries = std::move(timeEntries)](
          ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
        for (const auto& entry : timeEntries) {
          if (entry) modifier.deleteTimeEntry(*entry);
        }
      });
}

asio::awaitable<std::shared_ptr<Session>> MainDataProvider::duplicateTimeEntry(
    std::shared_ptr<Session> timeEntry, bool withNotes) {
  return executeEntryWrite(
      [timeEntry = std::move(timeEntry), withNotes](
          ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) {
        return modifier.duplicateTimeEntry(*timeEntry, withNotes);
      });
}

}  // namespace chronelle
