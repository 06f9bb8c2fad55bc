#pragma once

#include <optional>
#include <string>

#include "chronelle/data/TimeEntryRow.h"
#include "chronelle/platform/Date.h"

namespace chronelle::cli {

// The fields of an entry's JSON record, named and ordered here only: the record of one entry
// (`entryJson`) and the export, which streams the same record as text for every entry of a
// period, both walk this list. Calls `field(name, value)` once per field, in order, where the
// value is a `const std::string*` (null for JSON null), a `const std::optional<Date>&` (a time,
// or null), a `double` or a `bool`. `taskPath` is the task's path, null without a task.
template <class Field>
void forEachEntryField(const TimeEntryRow& entry, const std::string* taskPath, Field&& field) {
  static const std::string kNoIdentifier;
  field("id", entry.identifier ? &*entry.identifier : &kNoIdentifier);
  field("task", taskPath);
  field("begin", entry.begin);
  field("end", entry.end);
  field("duration", entry.effectiveDuration);
  field("billable", entry.isBillable);
  field("rate", entry.hourlyRate);
  field("revenue", entry.effectiveRevenue);
  const std::string status = entry.billingStatus.enDescription();
  field("status", &status);
  field("notes", entry.notes ? &*entry.notes : nullptr);
  field("autotracked", entry.autotracked);
}

}  // namespace chronelle::cli
