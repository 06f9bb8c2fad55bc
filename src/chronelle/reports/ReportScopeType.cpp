#include "chronelle/reports/ReportScopeType.h"

#include "chronelle/platform/Localizer.h"

namespace chronelle {

std::optional<ReportScopeType> reportScopeTypeFromRaw(int rawValue) {
  if (rawValue < 1 || rawValue > 5) return std::nullopt;
  return static_cast<ReportScopeType>(rawValue);
}

const char* toString(ReportScopeType type) {
  switch (type) {
    case ReportScopeType::daily: return "daily";
    case ReportScopeType::weekly: return "weekly";
    case ReportScopeType::monthly: return "monthly";
    case ReportScopeType::yearly: return "yearly";
    case ReportScopeType::custom: return "custom";
  }
  return "unknown";
}

std::string localizedName(ReportScopeType type) {
  switch (type) {
    case ReportScopeType::daily: return Localizer::localizedString("Daily");
    case ReportScopeType::weekly: return Localizer::localizedString("Weekly");
    case ReportScopeType::monthly: return Localizer::localizedString("Monthly");
    case ReportScopeType::yearly: return Localizer::localizedString("Yearly");
    case ReportScopeType::custom: return Localizer::localizedString("Custom");
  }
  return {};
}

}  // namespace chronelle
