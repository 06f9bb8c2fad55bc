#include "chronelle/data/TimeEntryRow.h"

#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle {

TimeEntryRow TimeEntryRow::of(const Session& entry) {
  TimeEntryRow row;
  row.identifier = entry.identifier();
  if (const auto task = entry.task()) row.task = task->objectID();
  row.begin = entry.begin();
  row.end = entry.end();
  row.effectiveDuration = entry.effectiveDuration();
  row.isBillable = entry.isBillable();
  row.hourlyRate = entry.hourlyRate();
  row.effectiveRevenue = entry.effectiveRevenue();
  row.billingStatus = entry.billingStatus();
  row.notes = entry.notes();
  row.autotracked = entry.autotracked();
  return row;
}

}  // namespace chronelle
