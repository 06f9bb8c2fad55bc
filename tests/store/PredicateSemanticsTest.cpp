#include <gtest/gtest.h>

#include <cmath>

#include "chronelle/store/Predicate.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

using Row = testing::PredicateRow;

struct Case {
  std::string format;
  std::vector<Value> arguments;
  Row row;
  bool expected;
};

void checkBothWays(const std::vector<Case>& cases) {
  testing::PredicateTable table;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    std::string rowText, sql;
    for (const auto& [key, value] : c.row) rowText += key + "=" + value.description() + " ";
    const Predicate predicate = Predicate::parse(c.format, c.arguments);
    table.fill({c.row});
    EXPECT_EQ(!table.selectedInMemory(predicate).empty(), c.expected)
        << "case " << i << ": " << c.format << " on " << rowText;
    EXPECT_EQ(!table.selectedBySql(predicate, sql).empty(), c.expected)
        << "case " << i << ": " << c.format << " on " << rowText << "\nSQL: " << sql;
  }
}

const Date kDate = Date::fromMicroseconds(1'700'000'000'000'000);
const Date kLater = Date::fromMicroseconds(1'700'000'000'000'001);
const ObjectID kTask1 = ObjectID::permanent("Task", 1, kStore);
const ObjectID kTask2 = ObjectID::permanent("Task", 2, kStore);

TEST(PredicateSemanticsTest, AbsentValuesAndNegation) {
  checkBothWays({
      {"begin = nil", {}, {}, true},
      {"begin = nil", {}, {{"begin", kDate}}, false},
      {"begin != nil", {}, {}, false},
      {"begin != nil", {}, {{"begin", kDate}}, true},
      {"nil == begin", {}, {}, true},
      {"begin = %@", {Value()}, {}, true},  // a nil argument is nil
      {"begin < %@", {kDate}, {}, false},
      {"begin >= %@", {kDate}, {}, false},
      {"%@ > begin", {kDate}, {}, false},
      {"begin < nil", {}, {{"begin", kDate}}, false},
      {"begin >= nil", {}, {{"begin", kDate}}, false},
      {"begin != %@", {kDate}, {}, true},
      {"begin != %@", {kDate}, {{"begin", kDate}}, false},
      {"begin != %@", {kDate}, {{"begin", kLater}}, true},
      {"task.archived == NO", {}, {}, false},  // no related object: absent
      {"task.archived != YES", {}, {}, true},
      {"NOT begin < %@", {kDate}, {}, true},
      {"NOT NOT begin < %@", {kDate}, {}, false},
      {"NOT begin != %@", {kDate}, {}, false},
      {"NOT (begin < %@ OR name = 'x')", {kDate}, {}, true},
      {"! (begin < %@ && name = 'x')", {kDate}, {{"name", "x"}}, true},
      {"begin > %@ OR begin = nil", {kDate}, {}, true},
      {"begin > %@ AND begin = nil", {kDate}, {}, false},
      {"amount == %@", {std::nan("")}, {}, true},  // NaN is stored as NULL
      {"amount != %@", {std::nan("")}, {{"amount", 1.0}}, true},
  });
}

TEST(PredicateSemanticsTest, NumbersBooleansAndDates) {
  const std::int64_t twoTo53 = std::int64_t{1} << 53;
  checkBothWays({
      {"flag == YES", {}, {{"flag", true}}, true},
      {"flag == 1", {}, {{"flag", true}}, true},
      {"flag == 1.0", {}, {{"flag", true}}, true},
      {"flag == 2", {}, {{"flag", true}}, false},
      {"flag = true", {}, {{"flag", true}}, true},
      {"flag == FALSE", {}, {{"flag", false}}, true},
      {"flag == 0", {}, {{"flag", false}}, true},
      {"flag < YES", {}, {{"flag", false}}, true},
      {"count == yes", {}, {{"count", 1}}, true},
      {"count == 2.0", {}, {{"count", 2}}, true},
      {"count < 2.5", {}, {{"count", 2}}, true},
      {"count = -3", {}, {{"count", -3}}, true},
      {"amount == 2", {}, {{"amount", 2.0}}, true},
      {"amount <= -0.5", {}, {{"amount", -0.5}}, true},
      // Integers and doubles compare exactly, not after rounding the integer to a double.
      {"count > %@", {static_cast<double>(twoTo53)}, {{"count", twoTo53 + 1}}, true},
      {"count == %@", {static_cast<double>(twoTo53)}, {{"count", twoTo53 + 1}}, false},
      {"begin == %@", {kDate}, {{"begin", kDate}}, true},
      {"begin == %@", {kDate}, {{"begin", kLater}}, false},
      {"begin < %@", {kLater}, {{"begin", kDate}}, true},
      {"begin <= CAST(721692800.000001, \"NSDate\")", {}, {{"begin", kLater}}, true},
      {"begin < CAST(721692800.000001, \"NSDate\")", {}, {{"begin", kLater}}, false},
      // Dates take part in comparisons as the microseconds the store holds.
      {"begin > 5", {}, {{"begin", Date::fromMicroseconds(6)}}, true},
  });
}

TEST(PredicateSemanticsTest, TextComparesBytewiseAndKindsDoNotMix) {
  checkBothWays({
      {"name < 'b'", {}, {{"name", "B"}}, true},  // uppercase sorts first
      {"name < 'B'", {}, {{"name", "a"}}, false},
      {"name == 'abc'", {}, {{"name", "ABC"}}, false},
      {"name < 'ab'", {}, {{"name", "a"}}, true},
      {"name > 'z'", {}, {{"name", "\xC3\xA9"}}, true},
      {"name == \"say \\\"hi\\\"\"", {}, {{"name", "say \"hi\""}}, true},
      {"name == '\\u00e9'", {}, {{"name", "\xC3\xA9"}}, true},
      // Different kinds are never equal nor ordered, whatever SQLite's affinity would do.
      {"name == 5", {}, {{"name", "5"}}, false},
      {"name != 5", {}, {{"name", "5"}}, true},
      {"name > 1", {}, {{"name", "x"}}, false},
      {"count == '5'", {}, {{"count", 5}}, false},
      {"count != '5'", {}, {{"count", 5}}, true},
      {"count < 'a'", {}, {{"count", 5}}, false},
      {"amount == '2.5'", {}, {{"amount", 2.5}}, false},
      {"mixed == '5'", {}, {{"mixed", 5}}, false},
      {"mixed == 5", {}, {{"mixed", "5"}}, false},
      {"mixed >= 5", {}, {{"mixed", Blob{0x35}}}, false},
      {"mixed == %@", {Blob{0x35}}, {{"mixed", Blob{0x35}}}, true},
      {"mixed < %@", {Blob{0x36}}, {{"mixed", Blob{0x35}}}, true},
      {"name == %@", {kTask1}, {{"name", "1"}}, false},
  });
}

TEST(PredicateSemanticsTest, ObjectsAndMembership) {
  checkBothWays({
      {"task == %@", {kTask2}, {{"task", kTask2}}, true},
      {"task == %@", {kTask2}, {{"task", kTask1}}, false},
      {"task != %@", {kTask2}, {}, true},
      {"task == %@", {ObjectID::temporary("Task")}, {{"task", kTask2}}, false},
      {"task == nil", {}, {}, true},
      {"task IN %@", {Value::List{kTask1, kTask2}}, {{"task", kTask2}}, true},
      {"task IN %@", {Value::List{kTask1, kTask2}}, {}, false},
      {"task IN %@", {Value::List{}}, {{"task", kTask1}}, false},
      {"task IN %@", {kTask1}, {{"task", kTask1}}, true},  // a single value is a list of one
      {"count IN {1, 2}", {}, {{"count", 2}}, true},
      {"count IN {1, 2}", {}, {{"count", 3}}, false},
      {"count IN {1, 2}", {}, {}, false},
      {"count IN {'2'}", {}, {{"count", 2}}, false},
      {"count IN {1.0, YES}", {}, {{"count", 1}}, true},
      {"name IN {2, 'x'}", {}, {{"name", "x"}}, true},
      {"name IN {2, 'x'}", {}, {{"name", "2"}}, false},
      {"count IN %@", {5}, {{"count", 5}}, true},
      {"count IN %@", {Value()}, {{"count", 5}}, false},
      {"count IN {nil}", {}, {}, false},
      {"NOT count IN {}", {}, {{"count", 5}}, true},
      {"NOT count IN {1}", {}, {}, true},
  });
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

TEST(PredicateSemanticsTest, KeyPathAgainstKeyPathAndConstants) {
  checkBothWays({
      {"count == amount", {}, {{"count", 2}, {"amount", 2.0}}, true},
      {"count < amount", {}, {{"count", 1}, {"amount", 1.5}}, true},
      {"count == amount", {}, {}, true},  // nil equals nil
      {"count != amount", {}, {{"count", 1}}, true},
      {"count < amount", {}, {{"count", 1}}, false},
      {"NOT count == amount", {}, {}, false},
      {"count == name", {}, {{"count", 5}, {"name", "5"}}, false},
      {"count != name", {}, {{"count", 5}, {"name", "5"}}, true},
      {"name >= task.name", {}, {{"name", "b"}, {"task.name", "a"}}, true},
      {"1 == 1", {}, {}, true},
      {"'a' < 'b'", {}, {}, true},
      {"1 == '1'", {}, {}, false},
      {"YES == 1", {}, {}, true},
      {"2 IN {1, 2}", {}, {}, true},
      {"TRUEPREDICATE", {}, {}, true},
      {"NOT FALSEPREDICATE", {}, {}, true},
  });
}

}  // namespace
}  // namespace chronelle
