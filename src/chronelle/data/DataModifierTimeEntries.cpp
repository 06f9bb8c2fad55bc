// DataModifier: time entries — setters, change sets, moving between tasks, billing data,
// duplication and deletion.

#include "chronelle/data/DataModifier.h"
#include "chronelle/data/DataModifierChangeValue.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Money.h"

namespace chronelle {

using namespace modifier_detail;

namespace {

// The value under `key`, or null when the key is not in the change set.
const std::any* find(const TimeEntryChanges& changes, TimeEntryChangeKey key) {
  auto it = changes.find(key);
  return it == changes.end() ? nullptr : &it->second;
}

}  // namespace

std::shared_ptr<Session> DataModifier::newTimeEntry() {
  auto entry = context_->insert<Session>(Session::kEntityName);
  entry->setBegin(Clock::now());
  return entry;
}

void DataModifier::recalculateRevenue(Session& timeEntry) {
  const double rate = timeEntry.hourlyRate();
  if (rate == 0) {
    timeEntry.setConfirmedRevenue(0);
    return;
  }
  // Whole cents by the one revenue rule, so the stored value is what a report or the list
  // computes for the same time.
  timeEntry.setConfirmedRevenue(revenueAmount(timeEntry.effectiveDuration(), rate));
}

void DataModifier::updateTimeEntryBegin(Session& timeEntry, Date begin) {
  const Date floored = ChronelleDateUtils::flooredToSeconds(begin);
  timeEntry.setBegin(floored);
  if (auto end = timeEntry.end(); end && *end < floored) timeEntry.setEnd(floored);
  updateConfirmedDuration(timeEntry);
  recalculateRevenue(timeEntry);
}

void DataModifier::updateTimeEntryEnd(Session& timeEntry, Date end) {
  timeEntry.setEnd(ChronelleDateUtils::flooredToSeconds(end));
  // The comparison and the new begin use the instant as given, not the floored end.
  if (auto begin = timeEntry.begin(); begin && end < *begin) timeEntry.setBegin(end);
  updateConfirmedDuration(timeEntry);
  recalculateRevenue(timeEntry);
}

void DataModifier::updateTimeEntryBeginEnd(Session& timeEntry, Date begin, std::optional<Date> end) {
  const Date flooredBegin = ChronelleDateUtils::flooredToSeconds(begin);
  timeEntry.setBegin(flooredBegin);
  std::optional<Date> flooredEnd;
  if (end) flooredEnd = ChronelleDateUtils::flooredToSeconds(*end);
  if (flooredEnd && *flooredEnd < flooredBegin) flooredEnd = flooredBegin;
  timeEntry.setEnd(flooredEnd);
  updateConfirmedDuration(timeEntry);
  recalculateRevenue(timeEntry);
}

void DataModifier::updateTimeEntryOriginalEnd(Session& timeEntry, std::optional<Date> originalEnd) {
  timeEntry.setOriginalEnd(originalEnd);
}

void DataModifier::updateTimeEntryNotes(Session& timeEntry, std::optional<std::string> notes) {
  timeEntry.setNotes(std::move(notes));
}

void DataModifier::updateTimeEntryHourlyRate(Session& timeEntry, double hourlyRate) {
  timeEntry.setHourlyRate(hourlyRate);
  recalculateRevenue(timeEntry);
}

void DataModifier::updateTimeEntry(Session& timeEntry, BillingStatus billingStatus) {
  timeEntry.setBillingStatusValue(billingStatus.rawValue());
}

void DataModifier::updateTimeEntryAutotracked(Session& timeEntry, bool autotracked) {
  timeEntry.setAutotracked(autotracked);
}

void DataModifier::updateTimeEntryBillingData(Session& timeEntry) {
  // The raw value, not billingStatus(): an out-of-range status is not "unbilled" here.
  if (timeEntry.billingStatusValue() != BillingStatus(BillingStatus::unbilled).rawValue()) return;
  auto task = timeEntry.task();
  if (!task) return;
  timeEntry.setIsBillable(task->effectiveIsBillable());
  updateTimeEntryHourlyRate(timeEntry, task->effectiveHourlyRate());
}

void DataModifier::updateConfirmedDuration(Session& timeEntry) {
  const auto begin = timeEntry.begin();
  const auto end = timeEntry.end();
  timeEntry.setConfirmedDuration(begin && end ? ChronelleDateUtils::effectiveDuration(*begin, *end) : 0.0);
  if (auto task = timeEntry.task()) nodesWantUpdateConfirmedDuration_.insert(task);
}

void DataModifier::updateTimeEntry(Session& timeEntry, Task& newTask) {
  const bool running = !timeEntry.end().has_value();
  if (auto oldTask = timeEntry.task()) {
    if (running) updateNodeHasRunningSession(*oldTask, false);
    if (timeEntry.confirmedDuration() > 0) nodesWantUpdateConfirmedDuration_.insert(oldTask);
  }
  auto task = std::static_pointer_cast<Task>(newTask.shared_from_this());
  timeEntry.setTask(task);
  if (running) {
    updateNodeHasRunningSession(*task, true);
    if (auto begin = timeEntry.begin()) task->setLastSessionBegin(*begin + 1.0);
  }
  if (timeEntry.confirmedDuration() > 0) nodesWantUpdateConfirmedDuration_.insert(task);
  updateTimeEntryBillingData(timeEntry);
}

void DataModifier::updateTimeEntry(Session& timeEntry, const TimeEntryChanges& changes) {
  const std::any* beginValue = find(changes, TimeEntryChangeKey::begin);
  const std::any* endValue = find(changes, TimeEntryChangeKey::end);
  const auto begin = beginValue ? instantValue(*beginValue) : std::nullopt;
  const auto end = endValue ? instantValue(*endValue) : std::nullopt;
  if (begin && end) {
    updateTimeEntryBeginEnd(timeEntry, *begin, *end);
  } else if (begin) {
    updateTimeEntryBegin(timeEntry, *begin);
  } else if (end) {
    updateTimeEntryEnd(timeEntry, *end);
  }

  if (const auto* v = find(changes, TimeEntryChangeKey::originalEnd)) {
    if (auto originalEnd = instantValue(*v)) updateTimeEntryOriginalEnd(timeEntry, *originalEnd);
  }
  if (const auto* v = find(changes, TimeEntryChangeKey::roundingTo)) {
    if (auto roundingTo = integerValue(*v)) timeEntry.setRoundingTo(static_cast<std::int16_t>(*roundingTo));
  }
  if (const auto* v = find(changes, TimeEntryChangeKey::roundingMethod)) {
    if (auto method = integerValue(*v)) timeEntry.setRoundingMethod(static_cast<std::int16_t>(*method));
  }
  if (const auto* v = find(changes, TimeEntryChangeKey::taskId)) {
    if (auto taskId = objectIDValue(*v)) {
      std::shared_ptr<ManagedObject> object;
      try {
        object = context_->existingObject(*taskId);
      } catch (const std::exception&) {
        // An identifier that names nothing leaves the entry on its task.
      }
      if (auto task = std::dynamic_pointer_cast<Task>(object)) updateTimeEntry(timeEntry, *task);
    }
  }
  if (const auto* v = find(changes, TimeEntryChangeKey::notes)) updateTimeEntryNotes(timeEntry, textValue(*v));
  if (const auto* v = find(changes, TimeEntryChangeKey::billingStatus)) {
    if (auto status = billingStatusValue(*v)) updateTimeEntry(timeEntry, *status);
  }
  if (const auto* v = find(changes, TimeEntryChangeKey::hourlyRate)) {
    if (auto rate = doubleValue(*v)) updateTimeEntryHourlyRate(timeEntry, *rate);
  }
  if (const auto* v = find(changes, TimeEntryChangeKey::autotracked)) {
    if (auto autotracked = boolValue(*v)) updateTimeEntryAutotracked(timeEntry, *autotracked);
  }
}

std::shared_ptr<Session> DataModifier::duplicateTimeEntry(Session& timeEntry, bool withNotes) {
  auto copy = newTimeEntry();
  TimeEntryChanges changes;
  changes[TimeEntryChangeKey::begin] = timeEntry.begin() ? std::any(*timeEntry.begin()) : std::any();
  changes[TimeEntryChangeKey::end] = timeEntry.end() ? std::any(*timeEntry.end()) : std::any();
  auto task = timeEntry.task();
  changes[TimeEntryChangeKey::taskId] = task ? std::any(task->objectID()) : std::any();
  changes[TimeEntryChangeKey::billingStatus] = timeEntry.billingStatus();
  if (withNotes) {
    if (auto notes = timeEntry.notes()) changes[TimeEntryChangeKey::notes] = *notes;
  }
  updateTimeEntry(*copy, changes);
  return copy;
}

void DataModifier::deleteTimeEntry(Session& timeEntry) {
  if (auto task = timeEntry.task()) nodesWantUpdateConfirmedDuration_.insert(task);
  context_->deleteObject(timeEntry.shared_from_this());
}

}  // namespace chronelle
