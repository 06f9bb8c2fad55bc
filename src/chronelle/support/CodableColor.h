#pragma once

#include <nlohmann/json_fwd.hpp>

#include "chronelle/platform/Color.h"

namespace chronelle {

/// A colour as four plain components, for records that are serialised (chart columns). It
/// encodes as a JSON object with exactly the keys "red", "green", "blue" and "alpha". A value
/// type; thread-safe as any value.
struct CodableColor {
  /// Components, 0…1.
  ///@{
  double red = 0.0;
  double green = 0.0;
  double blue = 0.0;
  double alpha = 0.0;
  ///@}

  CodableColor() = default;
  /// A colour of the given components.
  CodableColor(double r, double g, double b, double a) : red(r), green(g), blue(b), alpha(a) {}
  /// Takes the four components of `color` as they are, whatever its colour space.
  explicit CodableColor(const Color& color)
      : red(color.red), green(color.green), blue(color.blue), alpha(color.alpha) {}

  /// The colour its readers draw: the four components as an sRGB colour.
  Color toColor() const { return Color{red, green, blue, alpha, ColorSpace::sRGB}; }

  /// Equal when every field is.
  friend bool operator==(const CodableColor&, const CodableColor&) = default;
};

/// nlohmann-json conversions (found by argument-dependent lookup). Decoding throws
/// nlohmann::json::exception when a key is missing or holds a value of another kind.
///@{
void to_json(nlohmann::json& json, const CodableColor& color);
void from_json(const nlohmann::json& json, CodableColor& color);
///@}

}  // namespace chronelle
