#include <gtest/gtest.h>

#include <cstdint>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {
namespace {

constexpr std::int64_t kReferenceMicros = 978307200LL * 1'000'000;  // 2001-01-01

// Date literals at and beyond the representable range: the edge parses exactly, anything
// further is a predicate error. Before, far literals overflowed 64-bit microseconds,
// subnormal ones escaped as std::out_of_range, and huge exponents became arbitrary dates.
TEST(PredicateHostileInputTest, CastDatesOutOfRangeAreSyntaxErrors) {
  const struct {
    const char* seconds;
    std::optional<std::int64_t> micros;  // since 2001; absent: refused
  } cases[] = {
      {"1000000000000", 1'000'000'000'000'000'000},
      {"-1000000000000.5", -1'000'000'000'000'500'000},
      {"1e12", 1'000'000'000'000'000'000},
      {"1e-310", 0},
      {"1000000000001", std::nullopt},
      {"9999999999999", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"1e13", std::nullopt},
      {"-1e300", std::nullopt},
  };
  for (const auto& c : cases) {
    const std::string format = std::string("d = CAST(") + c.seconds + ", \"NSDate\")";
    try {
      const Predicate predicate = Predicate::parse(format);
      ASSERT_TRUE(c.micros.has_value()) << "parsed: " << format;
      const std::string expected = Predicate::parse("d = %@", {Value(Date::fromMicroseconds(
                                                                   kReferenceMicros + *c.micros))})
                                       .predicateFormat();
      EXPECT_EQ(predicate.predicateFormat(), expected) << format;
    } catch (const StoreError& error) {
      EXPECT_FALSE(c.micros.has_value()) << format << " threw " << error.what();
      EXPECT_EQ(error.code(), StoreError::kInvalidPredicate) << format;
    } catch (const std::exception& error) {
      ADD_FAILURE() << format << " threw a non-store error: " << error.what();
    }
  }
}

}  // namespace
}  // namespace chronelle
