#pragma once

namespace chronelle {

enum class ColorSpace { sRGB, displayP3, genericRGB, deviceRGB };

// An RGBA colour with components in [0, 1]. A value type.
struct Color {
  double red = 0, green = 0, blue = 0, alpha = 1;
  ColorSpace colorSpace = ColorSpace::sRGB;

  Color withAlphaComponent(double a) const {
    Color c = *this;
    c.alpha = a;
    return c;
  }
  friend bool operator==(const Color&, const Color&) = default;
};

enum class Appearance { light, dark };

// A colour that depends on the appearance it is drawn in (light or dark mode).
struct DynamicColor {
  Color light;
  Color dark;
  Color resolved(Appearance appearance) const {
    return appearance == Appearance::dark ? dark : light;
  }
  friend bool operator==(const DynamicColor&, const DynamicColor&) = default;
};

}  // namespace chronelle
