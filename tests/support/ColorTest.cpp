#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <set>
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
    EXPECT_TRUE(seen.insert(ColorSet::rawValue(id)).second && ColorSet::idFromRaw(ColorSet::rawValue(id)) == id)
        << "raw value " << ColorSet::rawValue(id) << " is repeated or does not name its id";
  }
  EXPECT_EQ(seen, (std::set<int>{-2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
  for (const int raw : {-3, 18}) EXPECT_EQ(ColorSet::idFromRaw(raw), std::nullopt) << "raw " << raw;
  // Stored colour ids: spot checks that the cases are not shuffled.
  EXPECT_EQ(std::tuple(ColorSet::rawValue(ID::lightIndigo), ColorSet::rawValue(ID::brown)), std::tuple(17, 10));
}

TEST(ColorSet, ColoursAndOpacitiesFollowTheAppearance) {
  EXPECT_EQ(ColorSet::defaultSet().baseColor().name(), "#BBBBBB#6B6B6B");
  const ColorSet red(ID::red);
  EXPECT_EQ(red.displayP3HexString(false) + red.displayP3HexString(true) +
                red.displayP3HexBackgroundColorOptimizedForLightContent(false),
            "#EB1753#FF0048#EB1753");
  EXPECT_EQ(red.baseColor().resolved(Appearance::dark), (Color{1.0, 0.0, 0x48 / 255.0, 1.0, ColorSpace::displayP3}));
  EXPECT_EQ(ColorSet(ID::brown).backgroundColorOptimizedForLightContent().name(), "#9B7D56#A37E4F");
  // Text contrasts with the window in both appearances.
  const auto &background = InterfaceColors::systemBackground(), &label = InterfaceColors::label();
  EXPECT_TRUE(background.light.red - label.light.red > 0.5 &&
              label.dark.red - background.dark.red > 0.5);

  // Opacities derive from the per-colour base: base, button, task row, running button, opaque
  // white in dark and light.
  const ColorSet teal(ID::teal), lightBlue(ID::lightBlue), gray(ID::gray);
  const std::vector<double> actual = {red.baseBackgroundOpacity(false), teal.baseBackgroundOpacity(true),
      red.startPauseButtonBackgroundOpacity(true), red.startPauseButtonBackgroundOpacity(false),
      red.runningTaskRowOpacity(false), lightBlue.runningStartPauseButtonBackgroundOpacity(true),
      lightBlue.runningStartPauseButtonBackgroundOpacity(false), gray.runningStartPauseButtonBackgroundOpacity(false),
      lightBlue.sidebarTimerOpaqueWhiteBackgroundOpacity(false), lightBlue.sidebarTimerOpaqueWhiteBackgroundOpacity(true),
      red.sidebarTimerOpaqueWhiteBackgroundOpacity(false)};
  const std::vector<double> expected = {0.14f, 0.19f * 0.66f, 0.14f * 0.66f * 1.8f, 0.14f * 1.65f, 0.14f * 0.625f,
                                        0.15f, 0.21f, 0.25f, 0.75, 0, 0};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 1e-6) << "value " << i;
}

class ColorSetManagerTest : public ::testing::Test {
 protected:
  auto freshDefaults() const { return std::make_shared<UserDefaults>(dir_.file("defaults.json")); }
  testing::TempDirectory dir_;
};

TEST_F(ColorSetManagerTest, PaletteLookupsFallBackToGray) {
  const ColorSetManager manager(freshDefaults());
  ASSERT_EQ(manager.colorSets().size(), 18u);
  for (const ColorSet& set : manager.colorSets()) {
    EXPECT_TRUE(set.id() != ID::white && set.id() != ID::gray) << ColorSet::rawValue(set.id());
    EXPECT_EQ(manager.colorSet(static_cast<std::ptrdiff_t>(manager.index(set.id()))), set);
  }
  for (const ID id : {ID::white, ID::gray}) EXPECT_EQ(manager.colorSet(id).id(), ID::gray);
  EXPECT_EQ(std::pair(manager.index(ID::gray), manager.index(ID::lightIndigo)), std::pair(0ul, 17ul));
  for (const std::ptrdiff_t outside : {18, -1}) EXPECT_EQ(manager.colorSet(outside).id(), ID::gray) << outside;
  ASSERT_EQ(manager.allBaseColors().size(), 18u);
  EXPECT_EQ(manager.allBaseColors()[2], ColorSet(ID::red).baseColor());
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
    EXPECT_EQ(ColorSetManager(freshDefaults()).nextColorSet().id(), expected[i % expected.size()]) << "call " << i;
    EXPECT_EQ(freshDefaults()->integer(ColorSetManager::kInitiationCounterKey), std::int64_t((i + 1) % 18)) << "call " << i;
  }

  // A counter written after construction is read on first use.
  auto defaults = freshDefaults();
  ColorSetManager manager(defaults);
  defaults->setInteger(ColorSetManager::kInitiationCounterKey, 17);
  EXPECT_EQ(manager.nextColorSet().id(), ID::lightIndigo);
  // Once read, the cached value wins over later outside writes.
  defaults->setInteger(ColorSetManager::kInitiationCounterKey, 5);
  EXPECT_EQ(manager.nextColorSet().id(), ID::cyan);

  // A position from a hand-edited file is brought into range instead of failing.
  defaults->setInteger(ColorSetManager::kInitiationCounterKey, 19);
  EXPECT_EQ(ColorSetManager(defaults).nextColorSet().id(), ID::blue);
}

TEST(HexColor, ScansTheLeadingHexNumberOfTheTextAsPassedIn) {
  const std::vector<std::pair<std::string, std::uint64_t>> cases = {
      {"#FFCC00", 0xFFCC00},      {"ffcc00", 0xFFCC00},     {" \n#ffcc00\t", 0xFFCC00},
      {"\u00a0#12\u2028", 0x12},  {"##19", 0x19},           {"#12G4", 0x12},
      {"0x1F", 0x1F},             {"#0xAB", 0xAB},          {"#0x0A", 0x0A},          {"", 0},
      {"#", 0},                   {"xyz", 0},               {"# 12", 0},
      {"#FFFFFFFFFFFFFFFFFF", std::numeric_limits<std::uint64_t>::max()},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(convertP3HexToUInt64(text), value) << "'" << text << "'";
  }

  // The length as passed in chooses the alpha form: " #FFCC00" has eight characters with the
  // blank, so the alpha form reads 0x00FFCC00. "1000000" has seven, its value beyond six
  // digits: clamped to white. The emoji makes nine bytes but six characters: the short form.
  const std::vector<std::pair<std::string, std::vector<double>>> components = {
      {"#FFCC00", {1.0, 0.8, 0.0, 1.0}}, {"#FFCC0080", {1.0, 0.8, 0.0, 128 / 255.0}}, {" #FFCC00", {0.0, 1.0, 0.8, 0.0}},
      {"1000000", {1.0, 1.0, 1.0, 1.0}}, {"#FFCC\U0001F642", {0.0, 1.0, 0.8, 1.0}},     {"nothing", {0.0, 0.0, 0.0, 1.0}},
      {"nothing!", {0.0, 0.0, 0.0, 0.0}}};
  for (const auto& [text, expected] : components) {
    const RGBAComponents c = displayP3HexToRGBA(text);
    EXPECT_EQ(std::vector({c.red, c.green, c.blue, c.alpha}), expected) << text;
  }
  EXPECT_EQ(colorFromDisplayP3Hex("#FFCC00").colorSpace, ColorSpace::displayP3);
}

TEST(CodableColor, EncodesWithExactlyTheFourKeys) {
  const CodableColor color(Color{0.25, 0.5, 0.75, 0.4, ColorSpace::displayP3});
  const nlohmann::json json = color;
  EXPECT_EQ(json, nlohmann::json::parse(R"({"red":0.25,"green":0.5,"blue":0.75,"alpha":0.4})"));
  EXPECT_EQ(json.get<CodableColor>().toColor(), (Color{0.25, 0.5, 0.75, 0.4, ColorSpace::sRGB}));
  for (const char* bad : {R"({"red":1,"green":1,"blue":1})", R"({"red":"1","green":1,"blue":1,"alpha":1})"}) {
    EXPECT_THROW(nlohmann::json::parse(bad).get<CodableColor>(), nlohmann::json::exception) << bad;
  }
}

}  // namespace
}  // namespace chronelle
