#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chronelle/data/TimeEntryChangeKey.h"
#include "chronelle/model/BillingStatus.h"
#include "chronelle/platform/Date.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

// A time-entry change set read into typed values, so that every value is checked before
// the first one is applied. Each field is absent when its key is missing or holds no value.
// Internal to the data layer; a value type.
struct TimeEntryChangeValues {
  std::optional<Date> begin;
  std::optional<Date> end;
  std::optional<ObjectID> taskId;
  // Whether the `notes` key is present at all (without a value it clears the notes).
  bool notesGiven = false;
  std::optional<std::string> notes;
  std::optional<BillingStatus> billingStatus;
  std::optional<Date> originalEnd;
  std::optional<std::int16_t> roundingTo;
  std::optional<std::int16_t> roundingMethod;
  std::optional<double> hourlyRate;
  std::optional<bool> autotracked;

  // Reads every key of `changes`. Throws std::system_error(ChangeSetError) naming the first
  // key whose value has the wrong type or does not fit its attribute.
  static TimeEntryChangeValues read(const TimeEntryChanges& changes);
};

}  // namespace chronelle
