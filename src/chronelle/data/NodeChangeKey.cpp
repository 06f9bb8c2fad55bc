#include "chronelle/data/NodeChangeKey.h"

namespace chronelle {
namespace {

constexpr std::array<std::string_view, 11> kRawValues = {
    "name",     "colorId",       "parentId",   "order",           "notes",      "archived",
    "moveToRoot", "isBillableSet", "isBillable", "hourlyRateIsSet", "hourlyRate",
};

}  // namespace

const std::array<NodeChangeKey, 11>& NodeChangeKey::allCases() {
  static const std::array<NodeChangeKey, 11> cases = {
      name,       colorId,       parentId,   order,           notes,      archived,
      moveToRoot, isBillableSet, isBillable, hourlyRateIsSet, hourlyRate,
  };
  return cases;
}

std::optional<NodeChangeKey> NodeChangeKey::fromRaw(std::string_view raw) {
  for (std::size_t i = 0; i < kRawValues.size(); ++i) {
    if (kRawValues[i] == raw) return NodeChangeKey(static_cast<Case>(i));
  }
  return std::nullopt;
}

std::string_view NodeChangeKey::rawValue() const { return kRawValues.at(static_cast<std::size_t>(case_)); }

}  // namespace chronelle
