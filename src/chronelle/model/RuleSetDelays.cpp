// Intervals and labels of the two rule-set delays. They share the table of intervals; only
// the start delay has an immediate case.
#include "chronelle/model/LocalizedFormat.h"
#include "chronelle/model/RuleSetPauseDelay.h"
#include "chronelle/model/RuleSetStartDelay.h"
#include "chronelle/platform/Localizer.h"

namespace chronelle {
namespace {

// Seconds of a delay by its stored index (0…5); both delays use the same indexes.
double intervalOfIndex(int index) {
  switch (index) {
    case 0:
      return 30;
    case 1:
      return 60;
    case 2:
      return 180;
    case 3:
      return 300;
    case 5:
      return 10;
    default:
      return 0;  // 4: immediately
  }
}

std::string labelOfIndex(int index) {
  const double seconds = intervalOfIndex(index);
  const auto minutes = static_cast<std::int64_t>(seconds / 60);
  switch (index) {
    case 4:
      return Localizer::localizedString("immediately");
    case 5:
    case 0:
      return localizedFormat("for %i seconds", static_cast<std::int64_t>(seconds));
    case 1:
      return Localizer::localizedString("for 1 minute");
    default:
      return localizedFormat("for %i minutes", minutes);
  }
}

}  // namespace

const std::array<RuleSetStartDelay, 6>& RuleSetStartDelay::allCases() {
  static const std::array<RuleSetStartDelay, 6> cases{immediately, for10sec, for30sec,
                                                      for1min,     for3min,  for5min};
  return cases;
}

double RuleSetStartDelay::interval() const { return intervalOfIndex(case_); }
std::string RuleSetStartDelay::localizedLabel() const { return labelOfIndex(case_); }

const std::array<RuleSetPauseDelay, 5>& RuleSetPauseDelay::allCases() {
  static const std::array<RuleSetPauseDelay, 5> cases{for10sec, for30sec, for1min, for3min,
                                                      for5min};
  return cases;
}

double RuleSetPauseDelay::interval() const { return intervalOfIndex(case_); }
std::string RuleSetPauseDelay::localizedLabel() const { return labelOfIndex(case_); }

}  // namespace chronelle
