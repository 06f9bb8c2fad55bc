#pragma once

#include <cstdint>
#include <string_view>

#include "chronelle/platform/Color.h"

namespace chronelle {

// Colours written as hexadecimal text ("#FFCC00", "#FFCC0080"). The platform colour type is a
// plain struct, so these are free functions rather than members of it. Stateless and
// thread-safe; none of them throws.

/// The four components of a hex colour, each in [0, 1].
struct RGBAComponents {
  /// Components, 0…1.
  ///@{
  double red = 0, green = 0, blue = 0, alpha = 0;
  ///@}
  /// Equal when every field is.
  friend bool operator==(const RGBAComponents&, const RGBAComponents&) = default;
};

/// Reads the hexadecimal number at the start of `displayP3HexString`: surrounding whitespace and
/// line breaks are trimmed, leading "#" characters skipped, an optional "0x"/"0X" prefix
/// accepted, and digits read up to the first character that is not one. Gives 0 when no digit
/// can be read, and the largest 64-bit value when the digits overflow it.
std::uint64_t convertP3HexToUInt64(std::string_view displayP3HexString);

/// The components of `hexString`. The form is chosen by the length of the text as passed in
/// (before trimming, in user-perceived characters): shorter than 8 is "RRGGBB" with full alpha
/// (values above 0xFFFFFF are clamped to it), 8 or more is "RRGGBBAA". Unparsable text gives
/// black: with full alpha in the short form, fully transparent in the alpha form.
RGBAComponents displayP3HexToRGBA(std::string_view hexString);

/// A display-P3 colour from a hex string, by the rules of `displayP3HexToRGBA`.
Color colorFromDisplayP3Hex(std::string_view hexString);

}  // namespace chronelle
