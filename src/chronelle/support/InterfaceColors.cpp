#include "chronelle/support/InterfaceColors.h"

namespace chronelle {
namespace {

DynamicColor gray(double light, double dark, double lightAlpha = 1.0, double darkAlpha = 1.0) {
  return DynamicColor{Color{light, light, light, lightAlpha, ColorSpace::sRGB},
                      Color{dark, dark, dark, darkAlpha, ColorSpace::sRGB}};
}

}  // namespace

const DynamicColor& InterfaceColors::systemBackground() {
  static const DynamicColor color = gray(236.0 / 255, 50.0 / 255);
  return color;
}

const DynamicColor& InterfaceColors::secondarySystemBackground() {
  static const DynamicColor color = gray(150.0 / 255, 40.0 / 255);
  return color;
}

const DynamicColor& InterfaceColors::tertiarySystemBackground() {
  static const DynamicColor color = gray(1.0, 30.0 / 255);
  return color;
}

const DynamicColor& InterfaceColors::label() {
  static const DynamicColor color = gray(0.0, 1.0, 0.85, 0.85);
  return color;
}

const DynamicColor& InterfaceColors::secondaryLabel() {
  static const DynamicColor color = gray(0.0, 1.0, 0.5, 0.55);
  return color;
}

const DynamicColor& InterfaceColors::separator() {
  static const DynamicColor color = gray(0.0, 1.0, 0.1, 0.1);
  return color;
}

}  // namespace chronelle
