// Merging time entries: a selection of finished entries becomes one new entry on a task.

#include <algorithm>
#include <utility>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"

namespace chronelle {

std::optional<Date> MainDataProvider::getEarliestBegin(
    const std::vector<std::shared_ptr<Session>>& entries) {
  std::optional<Date> earliest;
  for (const auto& entry : entries) {
    const auto begin = entry->begin();
    if (begin && (!earliest || *begin < *earliest)) earliest = begin;
  }
  return earliest;
}

std::optional<Date> MainDataProvider::getLatestEnd(
    const std::vector<std::shared_ptr<Session>>& entries) {
  std::optional<Date> latest;
  for (const auto& entry : entries) {
    const Date end = entry->end().value_or(Clock::now());
    if (!latest || end > *latest) latest = end;
  }
  return latest;
}

std::optional<std::string> MainDataProvider::getUnitedNotes(
    const std::vector<std::shared_ptr<Session>>& entries) {
  std::optional<std::string> united;
  for (const auto& entry : entries) {
    const auto notes = entry->notes();
    if (!notes) continue;
    united = united ? *united + "\n" + *notes : *notes;
  }
  return united;
}

std::optional<BillingStatus> MainDataProvider::getUnifiedBillingStatus(
    const std::vector<std::shared_ptr<Session>>& entries) {
  if (entries.empty()) return std::nullopt;
  const BillingStatus first = entries.front()->billingStatus();
  for (const auto& entry : entries) {
    if (entry->billingStatus() != first) return std::nullopt;
  }
  return first;
}

asio::awaitable<void> MainDataProvider::mergeSessions(std::vector<std::string> sessionIds,
                                                      std::string taskId,
                                                      SessionMergeType mergeType) {
  // Everything is decided before the write, on the main queue (the caller may run elsewhere).
  std::vector<std::shared_ptr<Session>> entries;
  TimeEntryChanges changes;
  context()->performAndWait([&] {
    auto task = getTask(taskId);
    if (!task) throw std::system_error(MergeSessionsErrors::selectedTaskDoesNotExist);

    for (const auto& identifier : sessionIds) {
      auto entry = getSession(identifier);
      // Running entries are not merged: they stay as they are. An entry named twice is
      // merged once.
      if (!entry || !entry->end()) continue;
      if (std::find(entries.begin(), entries.end(), entry) == entries.end()) entries.push_back(std::move(entry));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a->begin() < b->begin(); });

    const auto begin = getEarliestBegin(entries);
    if (!begin) {
      entries.clear();
      return;
    }
    std::optional<Date> end;
    if (mergeType == SessionMergeType::byFillingTimeBetweenSessions) {
      end = getLatestEnd(entries);
    } else {
      double seconds = 0;
      for (const auto& entry : entries) seconds += entry->effectiveDuration();
      end = *begin + seconds;
    }
    changes = {
        {TimeEntryChangeKey::begin, *begin},
        {TimeEntryChangeKey::end, end},
        {TimeEntryChangeKey::taskId, task->objectID()},
        {TimeEntryChangeKey::notes, getUnitedNotes(entries)},
        {TimeEntryChangeKey::billingStatus, getUnifiedBillingStatus(entries)},
    };
  });
  if (entries.empty()) co_return;

  auto block = [changes, entries = std::move(entries)](
                   ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher&) {
    auto merged = modifier.newTimeEntry();
    modifier.updateTimeEntry(*merged, changes);
    for (const auto& entry : entries) {
      if (auto oldTask = entry->task()) modifier.nodesWantUpdateConfirmedDuration().insert(oldTask);
      context.deleteObject(entry);
    }
    context.save();
  };
  auto write = executeWriteOperation(std::move(block));
  co_await std::move(write);
}

}  // namespace chronelle
