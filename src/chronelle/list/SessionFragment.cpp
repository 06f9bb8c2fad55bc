#include "chronelle/list/SessionFragment.h"

#include <algorithm>

#include "chronelle/model/Session.h"
#include "chronelle/platform/Clock.h"
#include "chronelle/support/ChronelleDateUtils.h"
#include "chronelle/support/Money.h"

namespace chronelle {

SessionFragment::SessionFragment(std::shared_ptr<Session> session, Date from, std::optional<Date> to,
                                 SessionEdge edge)
    : session_(std::move(session)), from_(from), to_(to), edge_(edge) {}

DateInterval SessionFragment::interval() const {
  const Date end = to_ ? *to_ : Clock::now();
  return DateInterval(from_, std::max(from_, end));
}

// Measured like every other duration, so a fragment that ends at the end of its day (its last
// microsecond) is as long as the part of the entry up to midnight.
double SessionFragment::duration() const {
  const DateInterval span = interval();
  return ChronelleDateUtils::effectiveDuration(span.start(), span.end());
}

double SessionFragment::revenue() const {
  if (!session_ || !session_->isBillable()) return 0;
  const double seconds = session_->effectiveDuration(from_, to_);
  return revenueAmount(seconds, session_->hourlyRate());
}

std::string SessionFragment::description() const {
  return std::string("<SessionFragment ") + (session_ ? session_->description() : std::string("nil")) + " from " +
         from_.isoString() + " to " + (to_ ? to_->isoString() : std::string("nil")) + " " + toString(edge_) + ">";
}

}  // namespace chronelle
