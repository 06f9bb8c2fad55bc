#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "chronelle/store/StoredValueOrder.h"
#include "chronelle/store/Value.h"
#include "store/SqliteTestSupport.h"

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

// Equality is by kind and value; numbers of different kinds are different values (the
// predicate layer compares them numerically, Value itself does not).
TEST(ValueTest, EqualityKeepsTheKind) {
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

// The in-memory order must be SQLite's ORDER BY on what the engine writes, because
// fetches sort pending objects in memory beside rows sorted by SQL.
TEST(ValueOrderTest, InMemoryOrderIsSqliteOrderOfTheStoredValues) {
  const std::int64_t twoTo53 = std::int64_t{1} << 53;
  const std::vector<Value> values = {
      Value(),
      Value(3),
      Value(2.5),
      Value(-1),
      Value(true),
      Value(false),
      Value(2.0),
      Value(twoTo53 + 1),                   // not representable as a double
      Value(static_cast<double>(twoTo53)),  // just below it
      Value(-0.5),
      Value(Date::fromMicroseconds(2)),  // stored as the integer 2
      Value(ObjectID::permanent("Task", 4, kStore)),
      Value(ObjectID::temporary("Task")),  // bound as -1
      Value("b"),
      Value("B"),
      Value(""),
      Value("ab"),
      Value("a"),
      Value("\xC3\xA9"),  // é: bytes above ASCII sort after it
      Value("z"),
      Value(Blob{0x01}),
      Value(Blob{}),
      Value(Blob{0x00, 0xFF}),
      Value(Blob{0xFF}),
  };
  testing::MemoryDatabase db;
  db.exec("CREATE TABLE t(position INTEGER PRIMARY KEY, v)");
  for (std::size_t i = 0; i < values.size(); ++i) {
    db.queryIntegers("INSERT INTO t(position, v) VALUES (?, ?)",
                     {Value(static_cast<std::int64_t>(i)), values[i]});
  }
  const auto sqlOrder = db.queryIntegers("SELECT position FROM t ORDER BY v, position", {});

  std::vector<std::int64_t> memoryOrder(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) memoryOrder[i] = static_cast<std::int64_t>(i);
  std::stable_sort(memoryOrder.begin(), memoryOrder.end(), [&](std::int64_t a, std::int64_t b) {
    return compareStoredValues(values[static_cast<std::size_t>(a)],
                               values[static_cast<std::size_t>(b)]) < 0;
  });
  ASSERT_EQ(sqlOrder.size(), memoryOrder.size());
  for (std::size_t i = 0; i < sqlOrder.size(); ++i) {
    EXPECT_EQ(values[static_cast<std::size_t>(memoryOrder[i])].description(),
              values[static_cast<std::size_t>(sqlOrder[i])].description())
        << "position " << i;
  }
}

TEST(ValueOrderTest, NaNIsAbsentLikeSqliteStoresIt) {
  const Value nan(std::nan(""));
  EXPECT_EQ(storageClassOf(nan), StorageClass::absent);
  EXPECT_EQ(compareStoredValues(nan, Value()), 0);
  EXPECT_LT(compareStoredValues(nan, Value(-1e300)), 0);
}

}  // namespace
}  // namespace chronelle
