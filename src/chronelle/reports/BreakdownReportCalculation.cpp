#include "chronelle/reports/BreakdownReportCalculation.h"

#include <sstream>

#include "chronelle/support/ChronelleDateUtils.h"

namespace chronelle {

std::string BreakdownReportCalculation::description() const {
  std::ostringstream text;
  text << "BreakdownReportCalculation:\n";
  if (nodeBreakdown) {
    for (const auto& [id, values] : *nodeBreakdown) {
      text << id.uriRepresentation() << " "
           << ChronelleDateUtils::toString(values.duration, DurationFormat::hoursMinutesSeconds) << " | "
           << values.revenue << "\n";
    }
  }
  return text.str();
}

}  // namespace chronelle
