#include "chronelle/support/HexColor.h"

#include <limits>
#include <string>

#include "chronelle/support/UnicodeText.h"

namespace chronelle {
namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::uint64_t convertP3HexToUInt64(std::string_view displayP3HexString) {
  const std::string trimmed = trimmingWhitespaceAndNewlines(displayP3HexString);
  std::string_view rest(trimmed);
  while (!rest.empty() && rest.front() == '#') rest.remove_prefix(1);
  if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X') &&
      hexDigitValue(rest[2]) >= 0) {
    rest.remove_prefix(2);
  }
  std::uint64_t value = 0;
  bool overflow = false;
  for (const char c : rest) {
    const int digit = hexDigitValue(c);
    if (digit < 0) break;
    if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) overflow = true;
    value = (value << 4) | static_cast<std::uint64_t>(digit);
  }
  return overflow ? std::numeric_limits<std::uint64_t>::max() : value;
}

RGBAComponents displayP3HexToRGBA(std::string_view hexString) {
  const std::uint64_t value = convertP3HexToUInt64(hexString);
  const auto component = [](std::uint64_t v, int shift) {
    return static_cast<double>((v >> shift) & 0xFF) / 255.0;
  };
  if (characterCount(hexString) >= 8) {
    return {component(value, 24), component(value, 16), component(value, 8),
            component(value, 0)};
  }
  const std::uint64_t v = value < 0xFFFFFF ? value : 0xFFFFFF;
  return {component(v, 16), component(v, 8), component(v, 0), 1.0};
}

Color colorFromDisplayP3Hex(std::string_view hexString) {
  const RGBAComponents c = displayP3HexToRGBA(hexString);
  return Color{c.red, c.green, c.blue, c.alpha, ColorSpace::displayP3};
}

}  // namespace chronelle
