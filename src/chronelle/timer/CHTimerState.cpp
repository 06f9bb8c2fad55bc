#include "chronelle/timer/CHTimerState.h"

namespace chronelle {

std::string CHTimerState::description() const {
  switch (case_) {
    case idleWithTask:
      return "idleWithTask";
    case paused:
      return "paused";
    case runningManually:
      return "runningManually";
    case runningAutotracked:
      return "runningAutotracked";
    case idle:
      break;
  }
  return "idle";
}

}  // namespace chronelle
