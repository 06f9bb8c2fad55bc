#pragma once

#include <optional>
#include <string>

#include "chronelle/model/BillingStatus.h"
#include "chronelle/platform/Date.h"
#include "chronelle/store/ObjectID.h"

namespace chronelle {

class Session;

/// What a listing of many time entries shows of one, read as a row rather than as an object
/// (see BaseDataProvider::enumerateSessionRows): the stored fields and the measured values the
/// entry object would give at the time of the read. A value type; thread-safe as any value.
struct TimeEntryRow {
  /// The entry's identifier; absent when it has none.
  std::optional<std::string> identifier;
  /// The task the time is booked on; absent without one.
  std::optional<ObjectID> task;
  /// Absent only for an entry without a begin.
  std::optional<Date> begin;
  /// Absent while the entry runs.
  std::optional<Date> end;
  /// As Session::effectiveDuration: whole seconds to the end, or to now while running.
  double effectiveDuration = 0;
  /// As Session::isBillable, Session::hourlyRate and Session::effectiveRevenue.
  ///@{
  bool isBillable = false;
  double hourlyRate = 0;
  double effectiveRevenue = 0;
  ///@}
  /// As Session::billingStatus.
  BillingStatus billingStatus = BillingStatus::unbilled;
  /// Absent when the entry has none.
  std::optional<std::string> notes;
  /// Whether automatic tracking recorded the entry.
  bool autotracked = false;

  /// The row of an entry object, with its current (possibly unsaved) values. Main thread (the
  /// object's context queue).
  static TimeEntryRow of(const Session& entry);
};

}  // namespace chronelle
