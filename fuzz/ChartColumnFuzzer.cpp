// The chart-column decoder on arbitrary JSON text, as a damaged cache file would give it.
// Decoding must succeed or throw nlohmann::json::exception; a decoded column must encode
// and decode to an equal column.

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "FuzzSupport.h"
#include "chronelle/reports/SessionColumnData.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace chronelle;
  const std::string_view input = fuzz::asText(data, size);
  const auto json = nlohmann::ordered_json::parse(input, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return 0;

  SessionColumnData column;
  try {
    column = json.get<SessionColumnData>();
  } catch (const nlohmann::json::exception&) {
    return 0;
  }

  const nlohmann::ordered_json encoded = column;
  SessionColumnData decoded;
  try {
    decoded = encoded.get<SessionColumnData>();
  } catch (const nlohmann::json::exception& e) {
    fuzz::fail(std::string("an encoded column does not decode: ") + e.what(), input);
  }
  // Dates travel as seconds in a double: exact to the microsecond up to 2^52 microseconds
  // (the year 2112) and to the nearest representable value beyond.
  const std::int64_t micros = column.date.microsecondsSince1970();
  if (micros > -(std::int64_t{1} << 52) && micros < (std::int64_t{1} << 52)) {
    if (decoded.date != column.date) fuzz::fail("the date changed in a round trip", input);
  }
  decoded.date = column.date;
  if (!(decoded == column)) fuzz::fail("the column changed in a round trip", input);
  return 0;
}
