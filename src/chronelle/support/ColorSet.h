#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "chronelle/support/AppearanceColor.h"

namespace chronelle {

/// The colours of one palette entry: the colour of a folder or task and a darker variant for
/// backgrounds that carry light text, both adapting to light and dark appearance. A value
/// type; thread-safe as any value.
class ColorSet {
 public:
  /// What a node stores in `colorId`. Equality and hashing go through the raw value.
  enum class ID : std::int16_t {
    white = -2,
    gray = -1,
    red = 0,
    brown = 10,
    orange = 1,
    green2 = 3,
    green = 4,
    teal = 14,
    blue = 6,
    violett = 7,
    lightPink = 8,
    indigo = 15,
    lightRed = 9,
    pink = 11,
    yellow = 2,
    lightGreen = 13,
    cyan = 5,
    lightBlue = 12,
    lightViolett = 16,
    lightIndigo = 17,
  };

  /// Every ID in declaration order.
  static const std::array<ID, 20>& allIDs();
  /// The ID with raw value `raw` (-2 … 17); absent for any other value.
  static std::optional<ID> idFromRaw(int raw);
  /// The stored number of `id` (a node's `colorId`).
  static constexpr std::int16_t rawValue(ID id) { return static_cast<std::int16_t>(id); }
  /// The case name, e.g. "lightIndigo"; for logs and descriptions.
  static std::string idName(ID id);

  /// The set of `id`, with the fixed light and dark hex strings of its case.
  explicit ColorSet(ID id);

  /// The set of `gray`, built once on first use. (`default` is a C++ keyword.)
  static const ColorSet& defaultSet();
  /// The set of `white`, built once on first use.
  static const ColorSet& white();

  /// Which palette colour this is.
  ID id() const { return id_; }
  /// The colour itself.
  const AppearanceColor& baseColor() const { return baseColor_; }
  /// A background on which light text stays readable.
  const AppearanceColor& backgroundColorOptimizedForLightContent() const {
    return backgroundColorOptimizedForLightContent_;
  }

  /// The hex string of `baseColor` for the chosen appearance.
  const std::string& displayP3HexString(bool isDarkMode) const;
  /// The hex string of `backgroundColorOptimizedForLightContent` for the chosen appearance.
  const std::string& displayP3HexBackgroundColorOptimizedForLightContent(bool isDarkMode) const;

  /// Opacities of the backgrounds that show a running timer in this colour. The base is a
  /// per-colour factor, scaled by 0.66 in dark mode; the others derive from it.
  ///@{
  float baseBackgroundOpacity(bool isDarkMode) const;
  float sidebarTimerRunningBackgroundOpacity(bool isDarkMode) const;
  float startPauseButtonBackgroundOpacity(bool isDarkMode) const;
  float runningSessionListRowBackgroundOpacity(bool isDarkMode) const;
  float dashboardTimerRunningBackgroundOpacity(bool isDarkMode) const;
  float runningTaskRowOpacity(bool isDarkMode) const;
  float runningStartPauseButtonBackgroundOpacity(bool isDarkMode) const;
  ///@}
  /// Opacity of the white layer under the sidebar's running timer.
  double sidebarTimerOpaqueWhiteBackgroundOpacity(bool isDarkMode) const;

  /// Equal when every field is.
  friend bool operator==(const ColorSet&, const ColorSet&) = default;

 private:
  ID id_;
  AppearanceColor baseColor_;
  AppearanceColor backgroundColorOptimizedForLightContent_;
};

}  // namespace chronelle
