#include "chronelle/model/BillingStatus.h"

#include "chronelle/platform/Localizer.h"
#include "chronelle/support/HexColor.h"
#include "chronelle/support/InterfaceColors.h"

namespace chronelle {
namespace {

// The two fixed status colours are plain sRGB hex values, the same in light and dark mode.
DynamicColor fixedColor(std::string_view hex) {
  const RGBAComponents c = displayP3HexToRGBA(hex);
  const Color color{c.red, c.green, c.blue, c.alpha, ColorSpace::sRGB};
  return DynamicColor{color, color};
}

}  // namespace

const std::array<BillingStatus, 3>& BillingStatus::allCases() {
  static const std::array<BillingStatus, 3> cases{unbilled, billed, paid};
  return cases;
}

std::string BillingStatus::description() const {
  switch (case_) {
    case billed:
      return Localizer::localizedString("Billed");
    case paid:
      return Localizer::localizedString("Paid");
    case unbilled:
      break;
  }
  return Localizer::localizedString("Unbilled");
}

std::string BillingStatus::enDescription() const {
  switch (case_) {
    case billed:
      return "billed";
    case paid:
      return "paid";
    case unbilled:
      break;
  }
  return "unbilled";
}

DynamicColor BillingStatus::color() const {
  switch (case_) {
    case billed:
      return fixedColor("#FF7601");
    case paid:
      return fixedColor("#37B403");
    case unbilled:
      break;
  }
  return InterfaceColors::secondaryLabel();
}

}  // namespace chronelle
