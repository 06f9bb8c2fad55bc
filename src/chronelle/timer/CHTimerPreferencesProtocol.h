#pragma once

#include "chronelle/model/RoundingMethodOption.h"

namespace chronelle {

/// The user's preferences the timer applies when it pauses an entry. The application
/// implements it (CHTimerPreferences is a plain-value implementation) and hands one to
/// `CHTimer::setPrefs`. Read on the main thread, at every pause.
class CHTimerPreferencesProtocol {
 public:
  virtual ~CHTimerPreferencesProtocol() = default;

  /// Whether a paused entry's duration is rounded to `roundingStep`.
  virtual bool isRoundingEnabled() const = 0;
  /// The step durations are rounded to, in seconds; positive.
  virtual double roundingStep() const = 0;
  /// Which way durations are rounded.
  virtual RoundingMethodOption roundingMethodOption() const = 0;
  /// A paused entry shorter than this many seconds is deleted instead of kept.
  virtual double minimumTimeEntryDuration() const = 0;
};

}  // namespace chronelle
