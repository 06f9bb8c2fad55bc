#include <gtest/gtest.h>

#include <cmath>

#include "chronelle/store/Predicate.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

using Row = testing::PredicateRow;

const Date kDate = Date::fromMicroseconds(1'700'000'000'000'000);
const Date kLater = Date::fromMicroseconds(1'700'000'000'000'001);
const ObjectID kTask1 = ObjectID::permanent("Task", 1, kStore);
const ObjectID kTask2 = ObjectID::permanent("Task", 2, kStore);

// Each predicate on a one-row table, compiled to SQL and evaluated in memory: both must
// give the expected answer.
TEST(PredicateSemanticsTest, SqlAndMemoryGiveTheExpectedAnswer) {
  const std::int64_t twoTo53 = std::int64_t{1} << 53;
  const struct {
    std::string format;
    Row row;
    bool expected;
    std::vector<Value> arguments = {};
  } cases[] = {
      // Absent values and negation.
      {"begin = nil", {}, true}, {"begin = nil", {{"begin", kDate}}, false},
      {"begin != nil", {}, false}, {"begin != nil", {{"begin", kDate}}, true},
      {"nil == begin", {}, true}, {"begin = %@", {}, true, {Value()}},  // a nil argument is nil
      {"begin < %@", {}, false, {kDate}}, {"begin >= %@", {}, false, {kDate}},
      {"%@ > begin", {}, false, {kDate}}, {"begin < nil", {{"begin", kDate}}, false},
      {"begin >= nil", {{"begin", kDate}}, false}, {"begin != %@", {}, true, {kDate}},
      {"begin != %@", {{"begin", kDate}}, false, {kDate}},
      {"begin != %@", {{"begin", kLater}}, true, {kDate}},
      {"task.archived == NO", {}, false},  // no related object: absent
      {"task.archived != YES", {}, true}, {"NOT begin < %@", {}, true, {kDate}},
      {"NOT NOT begin < %@", {}, false, {kDate}}, {"NOT begin != %@", {}, false, {kDate}},
      {"NOT (begin < %@ OR name = 'x')", {}, true, {kDate}},
      {"! (begin < %@ && name = 'x')", {{"name", "x"}}, true, {kDate}},
      {"begin > %@ OR begin = nil", {}, true, {kDate}},
      {"begin > %@ AND begin = nil", {}, false, {kDate}},
      {"amount == %@", {}, true, {std::nan("")}},  // NaN is stored as NULL
      {"amount != %@", {{"amount", 1.0}}, true, {std::nan("")}},
      // Numbers, booleans and dates.
      {"flag == YES", {{"flag", true}}, true}, {"flag == 1", {{"flag", true}}, true},
      {"flag == 1.0", {{"flag", true}}, true}, {"flag == 2", {{"flag", true}}, false},
      {"flag = true", {{"flag", true}}, true}, {"flag == FALSE", {{"flag", false}}, true},
      {"flag == 0", {{"flag", false}}, true}, {"flag < YES", {{"flag", false}}, true},
      {"count == yes", {{"count", 1}}, true}, {"count == 2.0", {{"count", 2}}, true},
      {"count < 2.5", {{"count", 2}}, true}, {"count = -3", {{"count", -3}}, true},
      {"amount == 2", {{"amount", 2.0}}, true}, {"amount <= -0.5", {{"amount", -0.5}}, true},
      // Integers and doubles compare exactly, not after rounding the integer to a double.
      {"count > %@", {{"count", twoTo53 + 1}}, true, {static_cast<double>(twoTo53)}},
      {"count == %@", {{"count", twoTo53 + 1}}, false, {static_cast<double>(twoTo53)}},
      {"begin == %@", {{"begin", kDate}}, true, {kDate}},
      {"begin == %@", {{"begin", kLater}}, false, {kDate}},
      {"begin < %@", {{"begin", kDate}}, true, {kLater}},
      {"begin <= CAST(721692800.000001, \"NSDate\")", {{"begin", kLater}}, true},
      {"begin < CAST(721692800.000001, \"NSDate\")", {{"begin", kLater}}, false},
      // Dates take part in comparisons as the microseconds the store holds.
      {"begin > 5", {{"begin", Date::fromMicroseconds(6)}}, true},
      // Text compares bytewise (uppercase first, bytes above ASCII last).
      {"name < 'b'", {{"name", "B"}}, true}, {"name < 'B'", {{"name", "a"}}, false},
      {"name == 'abc'", {{"name", "ABC"}}, false}, {"name < 'ab'", {{"name", "a"}}, true},
      {"name > 'z'", {{"name", "\xC3\xA9"}}, true},
      {"name == \"say \\\"hi\\\"\"", {{"name", "say \"hi\""}}, true},
      {"name == '\\u00e9'", {{"name", "\xC3\xA9"}}, true},
      // Different kinds are never equal nor ordered, whatever SQLite's affinity would do.
      {"name == 5", {{"name", "5"}}, false}, {"name != 5", {{"name", "5"}}, true},
      {"name > 1", {{"name", "x"}}, false}, {"count == '5'", {{"count", 5}}, false},
      {"count != '5'", {{"count", 5}}, true}, {"count < 'a'", {{"count", 5}}, false},
      {"amount == '2.5'", {{"amount", 2.5}}, false}, {"mixed == '5'", {{"mixed", 5}}, false},
      {"mixed == 5", {{"mixed", "5"}}, false}, {"mixed >= 5", {{"mixed", Blob{0x35}}}, false},
      {"mixed == %@", {{"mixed", Blob{0x35}}}, true, {Blob{0x35}}},
      {"mixed < %@", {{"mixed", Blob{0x35}}}, true, {Blob{0x36}}},
      {"name == %@", {{"name", "1"}}, false, {kTask1}},
      // Objects and membership.
      {"task == %@", {{"task", kTask2}}, true, {kTask2}},
      {"task == %@", {{"task", kTask1}}, false, {kTask2}}, {"task != %@", {}, true, {kTask2}},
      {"task == %@", {{"task", kTask2}}, false, {ObjectID::temporary("Task")}},
      {"task == nil", {}, true},
      {"task IN %@", {{"task", kTask2}}, true, {Value::List{kTask1, kTask2}}},
      {"task IN %@", {}, false, {Value::List{kTask1, kTask2}}},
      {"task IN %@", {{"task", kTask1}}, false, {Value::List{}}},
      {"task IN %@", {{"task", kTask1}}, true, {kTask1}},  // a single value is a list of one
      {"count IN {1, 2}", {{"count", 2}}, true}, {"count IN {1, 2}", {{"count", 3}}, false},
      {"count IN {1, 2}", {}, false}, {"count IN {'2'}", {{"count", 2}}, false},
      {"count IN {1.0, YES}", {{"count", 1}}, true}, {"name IN {2, 'x'}", {{"name", "x"}}, true},
      {"name IN {2, 'x'}", {{"name", "2"}}, false}, {"count IN %@", {{"count", 5}}, true, {5}},
      {"count IN %@", {{"count", 5}}, false, {Value()}}, {"count IN {nil}", {}, false},
      {"NOT count IN {}", {{"count", 5}}, true}, {"NOT count IN {1}", {}, true},
      // Key path against key path, and constants.
      {"count == amount", {{"count", 2}, {"amount", 2.0}}, true},
      {"count < amount", {{"count", 1}, {"amount", 1.5}}, true},
      {"count == amount", {}, true},  // nil equals nil
      {"count != amount", {{"count", 1}}, true}, {"count < amount", {{"count", 1}}, false},
      {"NOT count == amount", {}, false}, {"count == name", {{"count", 5}, {"name", "5"}}, false},
      {"count != name", {{"count", 5}, {"name", "5"}}, true},
      {"name >= task.name", {{"name", "b"}, {"task.name", "a"}}, true},
      {"1 == 1", {}, true}, {"'a' < 'b'", {}, true}, {"1 == '1'", {}, false},
      {"YES == 1", {}, true}, {"2 IN {1, 2}", {}, true}, {"TRUEPREDICATE", {}, true},
      {"NOT FALSEPREDICATE", {}, true},
  };
  testing::PredicateTable table;
  for (const auto& c : cases) {
    std::string rowText, sql;
    for (const auto& [key, value] : c.row) rowText += key + "=" + value.description() + " ";
    const Predicate predicate = Predicate::parse(c.format, c.arguments);
    table.fill({c.row});
    EXPECT_EQ(!table.selectedInMemory(predicate).empty(), c.expected) << c.format << " on " << rowText;
    EXPECT_EQ(!table.selectedBySql(predicate, sql).empty(), c.expected)
        << c.format << " on " << rowText << "\nSQL: " << sql;
  }
}

// Unsaved objects never reach SQL; in memory their temporary IDs are compared as IDs.
TEST(PredicateSemanticsTest, TemporaryIDsOfPendingObjectsAreDistinct) {
  const ObjectID pending = ObjectID::temporary("Task");
  const ObjectID other = ObjectID::temporary("Task");
  const Row row{{"task", pending}};
  const testing::RowSubject subject(row);
  EXPECT_TRUE(Predicate::parse("task == %@", {pending}).evaluate(subject));
  EXPECT_FALSE(Predicate::parse("task == %@", {other}).evaluate(subject));
  EXPECT_TRUE(Predicate::parse("task != %@", {other}).evaluate(subject));
  EXPECT_FALSE(Predicate::parse("task IN %@", {Value::List{other, kTask1}}).evaluate(subject));
  EXPECT_TRUE(Predicate::parse("task IN %@", {Value::List{other, pending}}).evaluate(subject));
}

}  // namespace
}  // namespace chronelle
