#include "chronelle/support/ColorSet.h"

#include <algorithm>

namespace chronelle {
namespace {

// One row of the palette: the case, its name, the light/dark strings of both colours and the
// factor of its base background opacity.
struct PaletteRow {
  ColorSet::ID id;
  const char* name;
  const char* baseLight;
  const char* baseDark;
  const char* backgroundLight;
  const char* backgroundDark;
  float opacityFactor;
};

using ID = ColorSet::ID;

// In declaration order of the IDs.
constexpr std::array<PaletteRow, 20> kRows{{
    {ID::white, "white", "#FFFFFF", "#FFFFFF", "#BABABA", "#6B6B6B", 0.2f},
    {ID::gray, "gray", "#BBBBBB", "#6B6B6B", "#BABABA", "#6B6B6B", 0.2f},
    {ID::red, "red", "#EB1753", "#FF0048", "#EB1753", "#EB1753", 0.14f},
    {ID::brown, "brown", "#A2845E", "#B79467", "#9B7D56", "#A37E4F", 0.2f},
    {ID::orange, "orange", "#FF9500", "#FF9500", "#F18D00", "#F18D00", 0.14f},
    {ID::green2, "green2", "#9CD824", "#A0E810", "#8EC71C", "#88B728", 0.2f},
    {ID::green, "green", "#28CD5F", "#05D74A", "#1FB551", "#22B553", 0.14f},
    {ID::teal, "teal", "#55BEF0", "#55BEF0", "#5AB3D0", "#3AB8DE", 0.19f},
    {ID::blue, "blue", "#008CF6", "#0091FF", "#007DDB", "#007DDB", 0.2f},
    {ID::violett, "violett", "#B348E9", "#B449EA", "#A33BD7", "#8E39B9", 0.18f},
    {ID::lightPink, "lightPink", "#FF73C4", "#FF8ACE", "#EF61B3", "#EF61B3", 0.19f},
    {ID::indigo, "indigo", "#605EEA", "#5654F3", "#5451E4", "#4B49D4", 0.17f},
    {ID::lightRed, "lightRed", "#FF8084", "#FF8084", "#F16C70", "#F16C70", 0.19f},
    {ID::pink, "pink", "#E12392", "#E41A90", "#EF61B3", "#EF61B3", 0.16f},
    {ID::yellow, "yellow", "#FFCC00", "#FFCC00", "#E1B400", "#DDB100", 0.15f},
    {ID::lightGreen, "lightGreen", "#39E68C", "#31F38F", "#2BCF7A", "#2ECB7A", 0.13f},
    {ID::cyan, "cyan", "#2BCAD0", "#3AE8E5", "#18B0B8", "#10A6AE", 0.15f},
    {ID::lightBlue, "lightBlue", "#7FC8EC", "#73DEFF", "#75C4EB", "#5ECBEC", 0.17f},
    {ID::lightViolett, "lightViolett", "#B385F8", "#B584FF", "#A776F0", "#A776F0", 0.18f},
    {ID::lightIndigo, "lightIndigo", "#7D8EFA", "#8D9CFF", "#6778E4", "#6778E4", 0.15f},
}};

// Every ID is in the table, so the search always finds its row.
const PaletteRow& rowFor(ID id) {
  const auto* row = std::find_if(kRows.begin(), kRows.end(),
                                 [id](const PaletteRow& r) { return r.id == id; });
  return row != kRows.end() ? *row : kRows[1];
}

}  // namespace

const std::array<ColorSet::ID, 20>& ColorSet::allIDs() {
  static const std::array<ID, 20> ids = [] {
    std::array<ID, 20> result{};
    std::transform(kRows.begin(), kRows.end(), result.begin(),
                   [](const PaletteRow& r) { return r.id; });
    return result;
  }();
  return ids;
}

std::optional<ColorSet::ID> ColorSet::idFromRaw(int raw) {
  if (raw < -2 || raw > 17) return std::nullopt;
  return static_cast<ID>(raw);
}

std::string ColorSet::idName(ID id) { return rowFor(id).name; }

ColorSet::ColorSet(ID id)
    : id_(id),
      baseColor_(rowFor(id).baseLight, rowFor(id).baseDark),
      backgroundColorOptimizedForLightContent_(rowFor(id).backgroundLight,
                                               rowFor(id).backgroundDark) {}

const ColorSet& ColorSet::defaultSet() {
  static const ColorSet set(ID::gray);
  return set;
}

const ColorSet& ColorSet::white() {
  static const ColorSet set(ID::white);
  return set;
}

const std::string& ColorSet::displayP3HexString(bool isDarkMode) const {
  return baseColor_.hexString(isDarkMode ? Appearance::dark : Appearance::light);
}

const std::string& ColorSet::displayP3HexBackgroundColorOptimizedForLightContent(
    bool isDarkMode) const {
  return backgroundColorOptimizedForLightContent_.hexString(isDarkMode ? Appearance::dark
                                                                       : Appearance::light);
}

float ColorSet::baseBackgroundOpacity(bool isDarkMode) const {
  return rowFor(id_).opacityFactor * (isDarkMode ? 0.66f : 1.0f);
}

float ColorSet::sidebarTimerRunningBackgroundOpacity(bool isDarkMode) const {
  return baseBackgroundOpacity(isDarkMode);
}

float ColorSet::startPauseButtonBackgroundOpacity(bool isDarkMode) const {
  return baseBackgroundOpacity(isDarkMode) * (isDarkMode ? 1.8f : 1.65f);
}

float ColorSet::runningSessionListRowBackgroundOpacity(bool isDarkMode) const {
  return baseBackgroundOpacity(isDarkMode) * 0.85f;
}

float ColorSet::dashboardTimerRunningBackgroundOpacity(bool isDarkMode) const {
  return baseBackgroundOpacity(isDarkMode) * 0.6f;
}

float ColorSet::runningTaskRowOpacity(bool isDarkMode) const {
  return baseBackgroundOpacity(isDarkMode) * 0.625f;
}

float ColorSet::runningStartPauseButtonBackgroundOpacity(bool isDarkMode) const {
  if (isDarkMode) return 0.15f;
  switch (id_) {
    case ID::red:
    case ID::lightPink:
    case ID::lightGreen:
    case ID::cyan:
      return 0.3f;
    case ID::green:
      return 0.28f;
    case ID::violett:
      return 0.2f;
    case ID::lightBlue:
    case ID::lightIndigo:
      return 0.21f;
    default:
      return 0.25f;
  }
}

double ColorSet::sidebarTimerOpaqueWhiteBackgroundOpacity(bool isDarkMode) const {
  if (isDarkMode) return 0;
  switch (id_) {
    case ID::green2:
      return 0.85;
    case ID::lightBlue:
      return 0.75;
    case ID::yellow:
      return 0.7;
    default:
      return 0;
  }
}

}  // namespace chronelle
