#include "chronelle/timer/CHTimerPreferences.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace chronelle {

bool CHTimerPreferences::isRoundingEnabled() const { return values().isRoundingEnabled; }
double CHTimerPreferences::roundingStep() const { return values().roundingStep; }
RoundingMethodOption CHTimerPreferences::roundingMethodOption() const {
  return values().roundingMethodOption;
}
double CHTimerPreferences::minimumTimeEntryDuration() const {
  return values().minimumTimeEntryDuration;
}

CHTimerPreferences::Values CHTimerPreferences::values() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void CHTimerPreferences::setValues(Values values) {
  // A zero or negative step would make every rounding divide by it, and the step is stored
  // with each rounded entry in whole seconds in 16 bits: anything else could not be kept.
  if (!(values.roundingStep >= 1 && values.roundingStep <= kMaximumRoundingStep) ||
      values.roundingStep != std::floor(values.roundingStep)) {
    throw std::invalid_argument("rounding step must be a whole number of seconds from 1 to " +
                                std::to_string(static_cast<int>(kMaximumRoundingStep)));
  }
  if (!(values.minimumTimeEntryDuration >= 0))
    throw std::invalid_argument("minimum entry duration must not be negative");
  std::lock_guard lock(mutex_);
  values_ = values;
}

}  // namespace chronelle
