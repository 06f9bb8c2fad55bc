#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chronelle/model/BillingStatus.h"
#include "chronelle/model/NSManagedObjectWithIdentifier.h"
#include "chronelle/model/RoundingMethodOption.h"
#include "chronelle/platform/Date.h"
#include "chronelle/platform/DateInterval.h"
#include "chronelle/store/FetchRequest.h"

namespace chronelle {

class Folder;
class Task;

/// A time entry: one span of work on one task, running while it has no end. Carries its
/// notes, rounding settings, the billing settings copied from its task, a billing status, and
/// the confirmed duration and revenue the write side stores once it has ended.
///
/// Every duration is measured with ChronelleDateUtils::effectiveDuration; "now" is
/// Clock::now(). Objects live in one context and are used on its queue (the main thread for
/// the view context).
class Session : public NSManagedObjectWithIdentifier {
 public:
  /// The entity's name in the object model.
  static constexpr const char* kEntityName = "Session";
  /// A fetch request for time entries.
  static FetchRequest fetchRequest() { return FetchRequest(kEntityName); }

  /// \name Stored attributes and relationships
  ///@{
  bool autotracked() const;
  void setAutotracked(bool autotracked);
  /// The start; absent only on a new entry that was not given one yet, or on a fault.
  std::optional<Date> begin() const;
  void setBegin(Date begin);
  double confirmedDuration() const;
  void setConfirmedDuration(double seconds);
  double confirmedRevenue() const;
  void setConfirmedRevenue(double revenue);
  /// Absent while the entry runs.
  std::optional<Date> end() const;
  void setEnd(std::optional<Date> end);
  std::optional<std::string> notes() const;
  void setNotes(std::optional<std::string> notes);
  /// The end before rounding was applied; absent when none was recorded.
  std::optional<Date> originalEnd() const;
  void setOriginalEnd(std::optional<Date> originalEnd);
  /// Raw value of a RoundingMethodOption.
  std::int16_t roundingMethod() const;
  void setRoundingMethod(std::int16_t rawValue);
  /// The rounding step applied, in whole seconds.
  std::int16_t roundingTo() const;
  void setRoundingTo(std::int16_t seconds);
  double hourlyRate() const;
  void setHourlyRate(double rate);
  /// The task the time is booked on; null when none.
  std::shared_ptr<Task> task() const;
  void setTask(const std::shared_ptr<Task>& task);
  /// Raw value of the billing status (see `billingStatus()` for how it reads).
  std::int16_t billingStatusValue() const;
  void setBillingStatusValue(std::int16_t rawValue);
  bool isBillable() const;
  void setIsBillable(bool isBillable);
  ///@}

  /// \name Values kept in memory only (set by the timer; false on every load)
  ///@{

  /// Observable under "isRunning".
  bool isRunning() const { return isRunning_; }
  void setIsRunning(bool running);
  /// Observable under "isStartedByLocalATMonitor".
  bool isStartedByLocalATMonitor() const { return isStartedByLocalATMonitor_; }
  void setIsStartedByLocalATMonitor(bool started);
  ///@}

  /// \name Derived values
  ///@{

  /// The folder holding the task; null without a task or for a top-level task.
  std::shared_ptr<Folder> folder() const;
  /// `billed` for 1, `paid` for 2, `unbilled` for anything else. Observable under
  /// "billingStatus" (told when `billingStatusValue` changes).
  BillingStatus billingStatus() const;
  /// `end`, or now while the entry runs.
  Date effectiveEnd() const;
  /// From `begin` to `end` (now while running); 0 for a fault or an entry without a begin.
  /// Observable under "effectiveDuration".
  double effectiveDuration() const;
  /// The part of the entry inside [from, to) (either bound optional); 0 for a fault, and when
  /// the entry ends at or before `from` or begins at or after `to`.
  double effectiveDuration(std::optional<Date> from, std::optional<Date> to) const;
  /// 0 when not billable; `confirmedRevenue` once ended; while running, the revenue of the
  /// running duration at the rate (revenueAmount: whole cents, halves away from zero).
  /// Observable under "effectiveRevenue".
  double effectiveRevenue() const;
  /// 0 when not billable; otherwise the revenue of the clipped duration (revenueAmount).
  /// Always recomputed from the rate, never `confirmedRevenue`.
  double effectiveRevenue(std::optional<Date> from, std::optional<Date> to) const;
  /// From `begin` to `end` (now while running), zero-length at `begin` when the end lies
  /// before it; zero-length at now for a fault or an entry without a begin.
  DateInterval effectiveDateIterval() const;
  /// `hourlyRate` when billable, otherwise absent.
  std::optional<double> effectiveHourlyRate() const;
  /// False while a change of `end` is unsaved.
  bool isEndPersisted() const;
  /// `begin` as "yyyy-MM-dd" in the local time zone; empty for a fault or without a begin.
  std::string dayString() const;
  /// The identifier, or "<Session (no identifier)>".
  std::string description() const;

  /// Announces a change of "effectiveDuration" (and so "effectiveRevenue") on this entry, then
  /// runs `updateEffectiveDuration()` on its task, which goes on up the folders.
  void updateEffectiveDuration();

  std::vector<std::string> keysAffectedBy(std::string_view key) const override;
  ///@}

 private:
  bool isRunning_ = false;
  bool isStartedByLocalATMonitor_ = false;
};

}  // namespace chronelle
