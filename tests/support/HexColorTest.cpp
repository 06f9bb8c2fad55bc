#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "chronelle/support/CodableColor.h"
#include "chronelle/support/HexColor.h"
#include "chronelle/support/InterfaceColors.h"

namespace chronelle {
namespace {

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
