// DataModifier: time entries — setters, change sets, moving between tasks, billing data,
// duplication and deletion.
#include <cmath>

#include "chronelle/data/DataModifier.h"
#include "chronelle/data/TimeEntryChangeValues.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"

namespace chronelle {

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
  // Kept in hundredths, halves away from zero, in this order of operations so every
  // entry rounds the same way whatever path set it.
  timeEntry.setConfirmedRevenue(std::round(rate / 3600.0 * timeEntry.effectiveDuration() * 100.0) / 100.0);
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
  // Every value is checked before the first is applied: a refused change set changes nothing.
  const TimeEntryChangeValues values = TimeEntryChangeValues::read(changes);
  if (values.begin && values.end) {
    updateTimeEntryBeginEnd(timeEntry, *values.begin, *values.end);
  } else if (values.begin) {
    updateTimeEntryBegin(timeEntry, *values.begin);
  } else if (values.end) {
    updateTimeEntryEnd(timeEntry, *values.end);
  }

  if (values.originalEnd) updateTimeEntryOriginalEnd(timeEntry, *values.originalEnd);
  if (values.roundingTo) timeEntry.setRoundingTo(*values.roundingTo);
  if (values.roundingMethod) timeEntry.setRoundingMethod(*values.roundingMethod);
  if (values.taskId) {
    std::shared_ptr<ManagedObject> object;
    try {
      object = context_->existingObject(*values.taskId);
    } catch (const std::exception&) {
      // An identifier that names nothing leaves the entry on its task.
    }
    if (auto task = std::dynamic_pointer_cast<Task>(object)) updateTimeEntry(timeEntry, *task);
  }
  if (values.notesGiven) updateTimeEntryNotes(timeEntry, values.notes);
  if (values.billingStatus) updateTimeEntry(timeEntry, *values.billingStatus);
  if (values.hourlyRate) updateTimeEntryHourlyRate(timeEntry, *values.hourlyRate);
  if (values.autotracked) updateTimeEntryAutotracked(timeEntry, *values.autotracked);
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
