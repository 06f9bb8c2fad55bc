// The locale-independent number parsers and the flexible-separator formatter on arbitrary
// text: nothing may throw or crash, and the formatter's two readings must agree with the
// plain parser they are documented to use.

#include <cmath>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "chronelle/support/NumberParsing.h"
#include "chronelle/support/UniversalDecimalNumberFormatter.h"

namespace {

bool same(const std::optional<double>& a, const std::optional<double>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return *a == *b || (std::isnan(*a) && std::isnan(*b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace chronelle;
  static const UniversalDecimalNumberFormatter german("de_DE");
  static const UniversalDecimalNumberFormatter english("en_US");
  const std::string_view input = fuzz::asText(data, size);

  const auto literal = parseNumberLiteral(input);
  const auto flexible = toDoubleByUsingFlexibleSeparator(input);
  if (input.find(',') == std::string_view::npos && !same(literal, flexible))
    fuzz::fail("without a comma the flexible reading differs from the literal", input);

  for (const auto* formatter : {&german, &english}) {
    double slot = -7;
    const bool stored = formatter->getObjectValue(&slot, input, nullptr);
    if (stored != flexible.has_value() || (stored && !same(slot, flexible)))
      fuzz::fail("getObjectValue disagrees with the flexible reading", input);
    const auto number = formatter->number(input);
    if (flexible && !same(number, flexible))
      fuzz::fail("number() ignores the flexible reading", input);
    if (number && std::isfinite(*number)) (void)formatter->string(*number);
  }
  return 0;
}
