// The duration parser on arbitrary text: it must never throw, crash or hang (its regular
// expressions are bounded), and blanks around the text must not change the answer.

#include <cmath>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "chronelle/support/DurationParsing.h"

namespace {

bool same(const std::optional<double>& a, const std::optional<double>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return *a == *b || (std::isnan(*a) && std::isnan(*b));
}

std::string describe(const std::optional<double>& value) {
  return value ? std::to_string(*value) : "nothing";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace chronelle;
  const std::string_view input = fuzz::asText(data, size);
  const auto plain = toTimeInterval(input);
  const auto padded = toTimeInterval(" \t" + std::string(input) + " \n");
  if (!same(plain, padded)) {
    fuzz::fail("blanks around the text change the duration: " + describe(plain) + " vs " +
                   describe(padded),
               input);
  }
  return 0;
}
