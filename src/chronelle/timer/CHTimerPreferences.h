#pragma once

#include <mutex>

#include "chronelle/timer/CHTimerPreferencesProtocol.h"

namespace chronelle {

// Timer preferences as plain values, for applications (and the CLI) that keep the settings
// themselves. The defaults round nothing and keep every entry. Thread-safe: the values are
// guarded by a mutex so a settings screen may change them while the timer reads them.
class CHTimerPreferences final : public CHTimerPreferencesProtocol {
 public:
  struct Values {
    // Round paused entries to `roundingStep`.
    bool isRoundingEnabled = false;
    // Rounding step in whole seconds, from 1 to kMaximumRoundingStep.
    double roundingStep = 300;
    // Direction of the rounding.
    RoundingMethodOption roundingMethodOption = RoundingMethodOption::nearest;
    // Entries shorter than this (seconds) are dropped on pause; 0 keeps every entry.
    double minimumTimeEntryDuration = 0;
  };

  // The longest step a rounded entry can record (its `roundingTo` has 16 bits): 9 h 6 min 7 s.
  static constexpr double kMaximumRoundingStep = 32767;

  CHTimerPreferences() = default;
  // Throws std::invalid_argument as `setValues`.
  explicit CHTimerPreferences(Values values) { setValues(values); }

  bool isRoundingEnabled() const override;
  double roundingStep() const override;
  RoundingMethodOption roundingMethodOption() const override;
  double minimumTimeEntryDuration() const override;

  // A copy of every value.
  Values values() const;
  // Replaces every value. Throws std::invalid_argument for a step that is not a whole number
  // of seconds from 1 to kMaximumRoundingStep (or a negative minimum), leaving the old values.
  void setValues(Values values);

 private:
  mutable std::mutex mutex_;  // guards values_
  Values values_;
};

}  // namespace chronelle
