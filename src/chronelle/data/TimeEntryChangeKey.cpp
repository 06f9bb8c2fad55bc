#include "chronelle/data/TimeEntryChangeKey.h"

namespace chronelle {
namespace {

constexpr std::array<std::string_view, 10> kRawValues = {
    "begin", "end", "taskId", "notes", "billingStatus", "originalEnd", "roundingTo", "roundingMethod",
    "hourlyRate", "autotracked",
};

}  // namespace

const std::array<TimeEntryChangeKey, 10>& TimeEntryChangeKey::allCases() {
  static const std::array<TimeEntryChangeKey, 10> cases = {
      begin, end, taskId, notes, billingStatus, originalEnd, roundingTo, roundingMethod, hourlyRate, autotracked,
  };
  return cases;
}

std::optional<TimeEntryChangeKey> TimeEntryChangeKey::fromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return TimeEntryChangeKey(static_cast<Case>(i));
  }
  return std::nullopt;
}

std::string_view TimeEntryChangeKey::rawValue() const { return kRawValues.at(static_cast<std::size_t>(case_)); }

}  // namespace chronelle
