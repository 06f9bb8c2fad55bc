#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "chronelle/platform/UserDefaults.h"
#include "chronelle/support/CodableColor.h"
#include "chronelle/support/ColorSet.h"
#include "chronelle/support/ColorSetManager.h"
#include "chronelle/support/HexColor.h"
#include "chronelle/support/InterfaceColors.h"
#include "testsupport/TempDirectory.h"

namespace chronelle {
namespace {

using ID = ColorSet::ID;

TEST(ColorSetID, RawValuesCoverMinusTwoToSeventeenExactly) {
  std::set<int> seen;
  for (const ID id : ColorSet::allIDs()) {
    const int raw = ColorSet::rawValue(id);
    EXPECT_TRUE(seen.insert(raw).second) << "duplicate raw value " << raw;
    EXPECT_EQ(ColorSet::idFromRaw(raw), id) << "raw " << raw;
  }
  EXPECT_EQ(seen.size(), 20u);
  EXPECT_EQ(*seen.begin(), -2);
  EXPECT_EQ(*seen.rbegin(), 17);
  for (const int raw : {-3, 18, 100, -32768}) {
    EXPECT_EQ(ColorSet::idFromRaw(raw), std::nullopt) << "raw " << raw;
  }
  // Stored colour ids: spot checks that the cases are not shuffled.
  EXPECT_EQ(ColorSet::rawValue(ID::lightIndigo), 17);
  EXPECT_EQ(ColorSet::rawValue(ID::brown), 10);
}

TEST(ColorSet, ColoursFollowTheAppearance) {
  EXPECT_EQ(ColorSet::defaultSet().baseColor().name(), "#BBBBBB#6B6B6B");
  EXPECT_EQ(ColorSet::white().id(), ID::white);
  const ColorSet red(ID::red);
  EXPECT_EQ(red.displayP3HexString(false), "#EB1753");
  EXPECT_EQ(red.displayP3HexString(true), "#FF0048");
  EXPECT_EQ(red.displayP3HexBackgroundColorOptimizedForLightContent(false), "#EB1753");
  EXPECT_EQ(red.baseColor().resolved(Appearance::dark), (Color{1.0, 0.0, 0x48 / 255.0, 1.0, ColorSpace::displayP3}));
  EXPECT_EQ(red.baseColor().dynamicColor().light, red.baseColor().resolved(Appearance::light));
  EXPECT_EQ(ColorSet(ID::brown).backgroundColorOptimizedForLightContent().name(), "#9B7D56#A37E4F");
}

TEST(ColorSet, OpacitiesDeriveFromThePerColourBase) {
  const ColorSet red(ID::red), teal(ID::teal), lightBlue(ID::lightBlue), gray(ID::gray);
  const struct {
    const char* what;
    double actual, expected;
  } cases[] = {
      {"base light", red.baseBackgroundOpacity(false), 0.14f},
      {"base dark", teal.baseBackgroundOpacity(true), 0.19f * 0.66f},
      {"button dark", red.startPauseButtonBackgroundOpacity(true), 0.14f * 0.66f * 1.8f},
      {"button light", red.startPauseButtonBackgroundOpacity(false), 0.14f * 1.65f},
      {"task row", red.runningTaskRowOpacity(false), 0.14f * 0.625f},
      {"running button dark", lightBlue.runningStartPauseButtonBackgroundOpacity(true), 0.15f},
      {"running button light", lightBlue.runningStartPauseButtonBackgroundOpacity(false), 0.21f},
      {"running button default", gray.runningStartPauseButtonBackgroundOpacity(false), 0.25f},
      {"opaque white", lightBlue.sidebarTimerOpaqueWhiteBackgroundOpacity(false), 0.75},
      {"opaque white dark", lightBlue.sidebarTimerOpaqueWhiteBackgroundOpacity(true), 0},
      {"opaque white default", red.sidebarTimerOpaqueWhiteBackgroundOpacity(false), 0},
  };
  for (const auto& c : cases) EXPECT_NEAR(c.actual, c.expected, 1e-6) << c.what;
}

class ColorSetManagerTest : public ::testing::Test {
 protected:
  std::shared_ptr<UserDefaults> freshDefaults() const {
    return std::make_shared<UserDefaults>(directory_.file("defaults.json"));
  }
  testing::TempDirectory directory_;
};

TEST_F(ColorSetManagerTest, PaletteLookupsFallBackToGray) {
  const ColorSetManager manager(freshDefaults());
  ASSERT_EQ(manager.colorSets().size(), 18u);
  EXPECT_EQ(manager.colorSets().front().id(), ID::violett);
  EXPECT_EQ(manager.colorSets().back().id(), ID::lightIndigo);
  for (const ColorSet& set : manager.colorSets()) {
    EXPECT_NE(set.id(), ID::white);
    EXPECT_NE(set.id(), ID::gray);
    EXPECT_EQ(manager.colorSet(set.id()), set);
    EXPECT_EQ(manager.colorSet(static_cast<std::ptrdiff_t>(manager.index(set.id()))), set);
  }
  EXPECT_EQ(manager.colorSet(ID::white).id(), ID::gray);
  EXPECT_EQ(manager.colorSet(ID::gray).id(), ID::gray);
  EXPECT_EQ(manager.index(ID::gray), 0u);
  EXPECT_EQ(manager.index(ID::lightIndigo), 17u);
  EXPECT_EQ(manager.colorSet(std::ptrdiff_t{18}).id(), ID::gray);
  EXPECT_EQ(manager.colorSet(std::ptrdiff_t{-1}).id(), ID::gray);
  const auto baseColors = manager.allBaseColors();
  ASSERT_EQ(baseColors.size(), 18u);
  EXPECT_EQ(baseColors[2], ColorSet(ID::red).baseColor());
}

TEST_F(ColorSetManagerTest, RotationContinuesAcrossRestartsAndWraps) {
  const std::vector<ID> expected = {
      ID::cyan,  ID::blue,   ID::violett,  ID::green2,   ID::pink,      ID::orange,
      ID::lightViolett, ID::lightGreen, ID::teal, ID::green, ID::red,   ID::indigo,
      ID::yellow, ID::lightRed, ID::lightBlue, ID::lightPink, ID::brown, ID::lightIndigo};
  EXPECT_EQ(ColorSetManager(freshDefaults()).initiationSorting(), expected);

  // Each colour is handed out by a new manager on a new defaults object reading the same
  // file, as after a restart, so the position must reach the disk every time.
  for (std::size_t i = 0; i < expected.size() + 2; ++i) {
    ColorSetManager manager(freshDefaults());
    EXPECT_EQ(manager.nextColorSet().id(), expected[i % expected.size()]) << "call " << i;
    EXPECT_EQ(freshDefaults()->integer(ColorSetManager::kInitiationCounterKey),
              static_cast<std::int64_t>((i + 1) % expected.size()))
        << "call " << i;
  }

  // A counter written after construction is read on first use, then wraps after the last.
  auto defaults = freshDefaults();
  ColorSetManager manager(defaults);
  defaults->setInteger(ColorSetManager::kInitiationCounterKey, 17);
  EXPECT_EQ(manager.nextColorSet().id(), ID::lightIndigo);
  EXPECT_EQ(manager.initiationCounter(), 0);
  EXPECT_EQ(freshDefaults()->integer(ColorSetManager::kInitiationCounterKey), 0);
  // Once read, the cached value wins over later outside writes.
  defaults->setInteger(ColorSetManager::kInitiationCounterKey, 5);
  EXPECT_EQ(manager.nextColorSet().id(), ID::cyan);

  // A position from a hand-edited file is brought into range instead of failing.
  auto edited = freshDefaults();
  edited->setInteger(ColorSetManager::kInitiationCounterKey, 19);
  EXPECT_EQ(ColorSetManager(edited).nextColorSet().id(), ID::blue);
}

TEST(HexColor, ScansTheLeadingHexNumber) {
  struct Case {
    std::string text;
    std::uint64_t value;
  };
  const std::vector<Case> cases = {
      {"#FFCC00", 0xFFCC00},      {"ffcc00", 0xFFCC00},     {" \n#ffcc00\t", 0xFFCC00},
      {"\u00a0#12\u2028", 0x12},  {"##12", 0x12},           {"#12G4", 0x12},
      {"0x1F", 0x1F},             {"#0xAB", 0xAB},          {"#0x0A", 0x0A},          {"", 0},
      {"#", 0},                   {"xyz", 0},               {"# 12", 0},
      {"#FFFFFFFFFFFFFFFFFF", std::numeric_limits<std::uint64_t>::max()},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(convertP3HexToUInt64(cases[i].text), cases[i].value) << "case " << i;
  }
}

TEST(HexColor, LengthAsPassedInChoosesTheAlphaForm) {
  struct Case {
    std::string text;
    RGBAComponents rgba;
  };
  const std::vector<Case> cases = {
      {"#FFCC00", {1.0, 0.8, 0.0, 1.0}},
      {"#FFCC0080", {1.0, 0.8, 0.0, 128 / 255.0}},
      // Eight characters with the blank: the alpha form reads 0x00FFCC00.
      {" #FFCC00", {0.0, 1.0, 0.8, 0.0}},
      // Seven characters, value beyond six digits: clamped to white.
      {"1000000", {1.0, 1.0, 1.0, 1.0}},
      // Nine bytes but six characters: the short form.
      {"#FFCC\U0001F642", {0.0, 1.0, 0.8, 1.0}},
      {"nothing", {0.0, 0.0, 0.0, 1.0}},
      {"nothing!", {0.0, 0.0, 0.0, 0.0}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const RGBAComponents c = displayP3HexToRGBA(cases[i].text);
    EXPECT_DOUBLE_EQ(c.red, cases[i].rgba.red) << "case " << i;
    EXPECT_DOUBLE_EQ(c.green, cases[i].rgba.green) << "case " << i;
    EXPECT_DOUBLE_EQ(c.blue, cases[i].rgba.blue) << "case " << i;
    EXPECT_DOUBLE_EQ(c.alpha, cases[i].rgba.alpha) << "case " << i;
  }
  EXPECT_EQ(colorFromDisplayP3Hex("#FFCC00").colorSpace, ColorSpace::displayP3);
}

TEST(CodableColor, EncodesWithExactlyTheFourKeys) {
  const CodableColor color(Color{0.25, 0.5, 0.75, 0.4, ColorSpace::displayP3});
  const nlohmann::json json = color;
  EXPECT_EQ(json, nlohmann::json::parse(R"({"red":0.25,"green":0.5,"blue":0.75,"alpha":0.4})"));
  EXPECT_EQ(json.get<CodableColor>(), color);
  EXPECT_EQ(color.toColor(), (Color{0.25, 0.5, 0.75, 0.4, ColorSpace::sRGB}));
  EXPECT_EQ(CodableColor(), CodableColor(0, 0, 0, 0));

  EXPECT_THROW(nlohmann::json::parse(R"({"red":1,"green":1,"blue":1})").get<CodableColor>(),
               nlohmann::json::exception);
  EXPECT_THROW(
      nlohmann::json::parse(R"({"red":"1","green":1,"blue":1,"alpha":1})").get<CodableColor>(),
      nlohmann::json::exception);
}

TEST(InterfaceColors, EachRoleIsOneLightAndDarkPair) {
  // Text must contrast with the window in both appearances.
  const auto& background = InterfaceColors::systemBackground();
  const auto& label = InterfaceColors::label();
  EXPECT_GT(background.light.red - label.light.red, 0.5);
  EXPECT_GT(label.dark.red - background.dark.red, 0.5);
  EXPECT_LT(InterfaceColors::secondaryLabel().light.alpha, label.light.alpha);
  EXPECT_NE(InterfaceColors::secondarySystemBackground(), InterfaceColors::tertiarySystemBackground());
}

}  // namespace
}  // namespace chronelle
