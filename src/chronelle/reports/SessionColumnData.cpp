#include "chronelle/reports/SessionColumnData.h"

namespace chronelle {

void SessionColumnData::calculateSessionCount() {
  sessionCount = 0;
  for (const auto& segment : segments.items()) sessionCount += segment.sessionCount;
}

double SessionColumnData::totalDuration() const {
  double total = 0;
  for (const auto& segment : segments.items()) total += segment.duration;
  return total;
}

}  // namespace chronelle
