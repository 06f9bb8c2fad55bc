#pragma once

#include <string>
#include <utility>

#include "chronelle/platform/Color.h"

namespace chronelle {

/// A display-P3 colour that follows the appearance it is drawn in, built from a light and a
/// dark hex string ("#BBBBBB", "#6B6B6B"). It keeps the two strings, so that the colour can be
/// named and compared by them, and resolves each time it is drawn: a dark appearance takes the
/// dark string, every other appearance the light one. A value type; thread-safe as any value.
class AppearanceColor {
 public:
  AppearanceColor() = default;
  /// Does not validate the strings: they are parsed by the rules of `displayP3HexToRGBA`.
  AppearanceColor(std::string displayP3Light, std::string dark)
      : light_(std::move(displayP3Light)), dark_(std::move(dark)) {}

  /// The colour in the light appearance, as hex text.
  const std::string& lightHexString() const { return light_; }
  /// The colour in the dark appearance, as hex text.
  const std::string& darkHexString() const { return dark_; }
  /// The light string followed directly by the dark one, e.g. "#BBBBBB#6B6B6B".
  std::string name() const { return light_ + dark_; }

  /// The hex string that `appearance` selects.
  const std::string& hexString(Appearance appearance) const {
    return appearance == Appearance::dark ? dark_ : light_;
  }
  /// The display-P3 colour for `appearance`.
  Color resolved(Appearance appearance) const;
  /// Both resolved colours as the platform's appearance-dependent colour.
  DynamicColor dynamicColor() const;

  /// Equal when every field is.
  friend bool operator==(const AppearanceColor&, const AppearanceColor&) = default;

 private:
  std::string light_;
  std::string dark_;
};

}  // namespace chronelle
