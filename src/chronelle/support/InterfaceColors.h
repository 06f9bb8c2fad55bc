#pragma once

#include "chronelle/platform/Color.h"

namespace chronelle {

/// Named colours of the desktop interface, by role, for views that draw next to palette
/// colours. There are no system colours to ask on this platform, so each is the light/dark pair
/// the desktop system draws for that role. Each is built once on first use and lives for the
/// process; the functions are thread-safe and never throw.
struct InterfaceColors {
  /// Window background.
  static const DynamicColor& systemBackground();
  /// Background under a page (behind documents).
  static const DynamicColor& secondarySystemBackground();
  /// Background of controls such as lists and text fields.
  static const DynamicColor& tertiarySystemBackground();
  /// Primary text.
  static const DynamicColor& label();
  /// Secondary text.
  static const DynamicColor& secondaryLabel();
  /// Thin separating lines.
  static const DynamicColor& separator();
};

}  // namespace chronelle
