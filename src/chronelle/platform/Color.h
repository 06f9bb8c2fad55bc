#pragma once

namespace chronelle {

enum class ColorSpace { sRGB, displayP3, genericRGB, deviceRGB };

/// An RGBA colour with components in [0, 1]. A value type.
struct Color {
  /// Components, 0…1.
  ///@{
  double red = 0, green = 0, blue = 0, alpha = 1;
  ///@}
  /// The space the components are in.
  ColorSpace colorSpace = ColorSpace::sRGB;

  /// This colour with alpha `a`.
  Color withAlphaComponent(double a) const {
    Color c = *this;
    c.alpha = a;
    return c;
  }
  /// Equal when every field is.
  friend bool operator==(const Color&, const Color&) = default;
};

enum class Appearance { light, dark };

/// A colour that depends on the appearance it is drawn in (light or dark mode).
struct DynamicColor {
  /// The colour in the light appearance.
  Color light;
  /// The colour in the dark appearance.
  Color dark;
  /// `light` or `dark` for `appearance`.
  Color resolved(Appearance appearance) const {
    return appearance == Appearance::dark ? dark : light;
  }
  /// Equal when every field is.
  friend bool operator==(const DynamicColor&, const DynamicColor&) = default;
};

}  // namespace chronelle
