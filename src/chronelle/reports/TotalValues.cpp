#include "chronelle/reports/TotalValues.h"

#include <cmath>
#include <sstream>

#include "chronelle/model/Session.h"
#include "chronelle/reports/ReportMoney.h"
#include "chronelle/support/Injector.h"
#include "chronelle/timer/CHTimer.h"

namespace chronelle {

TotalValues TotalValues::byAddingUnconfirmedCurrentSession(const SessionQuery3& query) const {
  // The timer must be registered: without it the running entry would silently count as zero.
  auto timer = Injector::sharedSyncedContainer().resolve<CHTimer>();
  return byAddingUnconfirmedSession(timer->currentSession().get(), query);
}

TotalValues TotalValues::byAddingUnconfirmedSession(const Session* session, const SessionQuery3& query) const {
  // An entry that already has a confirmed duration is counted by the store sums (or was
  // ended meanwhile); only a running, unconfirmed one is added here.
  if (session == nullptr || session->end().has_value() || session->confirmedDuration() != 0 ||
      !query.includes(*session)) {
    return *this;
  }
  const double seconds = session->effectiveDuration(query.from, query.to);
  TotalValues result = *this;
  result.duration += seconds;
  result.sessionCount += 1;
  if (session->isBillable()) {
    result.revenue += revenueOf(seconds, session->hourlyRate());
  }
  return result;
}

std::string TotalValues::description() const {
  std::ostringstream text;
  text.precision(15);
  text << "duration: " << duration << ", revenue: " << revenue << ", sessionCount: " << sessionCount;
  return text.str();
}

}  // namespace chronelle
