#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "chronelle/store/StoredValueOrder.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

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
