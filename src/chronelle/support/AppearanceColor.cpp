#include "chronelle/support/AppearanceColor.h"

#include "chronelle/support/HexColor.h"

namespace chronelle {

Color AppearanceColor::resolved(Appearance appearance) const {
  return colorFromDisplayP3Hex(hexString(appearance));
}

DynamicColor AppearanceColor::dynamicColor() const {
  return DynamicColor{resolved(Appearance::light), resolved(Appearance::dark)};
}

}  // namespace chronelle
