#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "chronelle/store/Value.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

TEST(ValueTest, NumericViewsAcceptOnlyNumbersAndBooleans) {
  const Date date = Date::fromMicroseconds(1'500'000);
  const struct {
    Value value;
    std::optional<double> asDouble;
    std::optional<std::int64_t> asInteger;
    std::optional<bool> asBool;
  } cases[] = {
      {Value(), std::nullopt, std::nullopt, std::nullopt},
      {Value(true), 1.0, 1, true},
      {Value(false), 0.0, 0, false},
      {Value(7), 7.0, 7, true},
      {Value(0), 0.0, 0, false},
      {Value(-3), -3.0, -3, true},
      {Value(2.0), 2.0, 2, true},
      {Value(2.5), 2.5, std::nullopt, true},  // a fraction has no integer view
      {Value(-0.0), 0.0, 0, false},
      {Value(1e19), 1e19, std::nullopt, true},  // beyond 64 bits
      {Value(-9223372036854775808.0), -9223372036854775808.0, INT64_MIN, true},
      {Value(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity(),
       std::nullopt, true},
      {Value("1"), std::nullopt, std::nullopt, std::nullopt},  // text is never a number
      {Value(date), std::nullopt, std::nullopt, std::nullopt},
      {Value(ObjectID::permanent("Task", 3, kStore)), std::nullopt, std::nullopt, std::nullopt},
      {Value(Blob{1}), std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.asDouble(), c.asDouble) << c.value.description();
    EXPECT_EQ(c.value.asInteger(), c.asInteger) << c.value.description();
    EXPECT_EQ(c.value.asBool(), c.asBool) << c.value.description();
  }
}

TEST(ValueTest, TypedViewsAndEqualityKeepTheKind) {
  const Date date = Date::fromMicroseconds(1'500'000);
  const ObjectID id = ObjectID::permanent("Task", 3, kStore);
  EXPECT_EQ(Value("abc").asString(), "abc");
  EXPECT_EQ(Value(5).asString(), std::nullopt);
  EXPECT_EQ(Value(date).asDate(), date);
  EXPECT_EQ(Value(5).asDate(), std::nullopt);
  EXPECT_EQ(Value(id).asObjectID(), id);
  EXPECT_EQ(Value(3).asObjectID(), std::nullopt);
  EXPECT_TRUE(Value(nullptr).isNull());
  EXPECT_TRUE(Value().isNull());

  // Equality is by kind and value; numbers of different kinds are different values (the
  // predicate layer compares them numerically, Value itself does not).
  EXPECT_EQ(Value(1), Value(std::int64_t{1}));
  EXPECT_NE(Value(1), Value(true));
  EXPECT_NE(Value(1), Value(1.0));
  EXPECT_NE(Value("1"), Value(1));
  EXPECT_EQ(Value(Value::List{1, "a"}), Value(Value::List{1, "a"}));
  EXPECT_NE(Value(Value::List{1, "a"}), Value(Value::List{"a", 1}));
}

TEST(ValueTest, DescriptionsAreReadable) {
  const ObjectID id = ObjectID::permanent("Task", 3, kStore);
  const struct {
    Value value;
    std::string text;
  } cases[] = {
      {Value(), "nil"},
      {Value(true), "YES"},
      {Value(false), "NO"},
      {Value(-12), "-12"},
      {Value(2.5), "2.5"},
      {Value(0.1), "0.1"},
      {Value("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\""},
      {Value(Date::fromMicroseconds(86'400'000'000 + 1)), "1970-01-02T00:00:00.000001Z"},
      {Value(Blob{0x00, 0xAB, 0x10}), "<00ab10>"},
      {Value(id), id.uriRepresentation()},
      {Value(Value::List{1, "a", Value()}), "(1, \"a\", nil)"},
      {Value(Value::List{}), "()"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.description(), c.text);
}

}  // namespace
}  // namespace chronelle
