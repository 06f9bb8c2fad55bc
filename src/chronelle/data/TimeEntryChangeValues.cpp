#include "chronelle/data/TimeEntryChangeValues.h"

#include "chronelle/data/DataModifierChangeValue.h"

namespace chronelle {

using namespace modifier_detail;

TimeEntryChangeValues TimeEntryChangeValues::read(const TimeEntryChanges& changes) {
  TimeEntryChangeValues values;
  for (const auto& [key, value] : changes) {
    const std::string_view name = key.rawValue();
    switch (key) {
      case TimeEntryChangeKey::begin: values.begin = instantValue(value, name); break;
      case TimeEntryChangeKey::end: values.end = instantValue(value, name); break;
      case TimeEntryChangeKey::taskId: values.taskId = objectIDValue(value, name); break;
      case TimeEntryChangeKey::notes:
        values.notesGiven = true;
        values.notes = textValue(value, name);
        break;
      case TimeEntryChangeKey::billingStatus: values.billingStatus = billingStatusValue(value, name); break;
      case TimeEntryChangeKey::originalEnd: values.originalEnd = instantValue(value, name); break;
      case TimeEntryChangeKey::roundingTo: values.roundingTo = int16Value(value, name); break;
      case TimeEntryChangeKey::roundingMethod: values.roundingMethod = int16Value(value, name); break;
      case TimeEntryChangeKey::hourlyRate: values.hourlyRate = doubleValue(value, name); break;
      case TimeEntryChangeKey::autotracked: values.autotracked = boolValue(value, name); break;
    }
  }
  return values;
}

}  // namespace chronelle
