// Predicates: their text (spellings, precedence, literals, errors) and what they select, by
// SQL and in memory.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";
const ObjectID kTask1 = ObjectID::permanent("Task", 1, kStore);
const ObjectID kTask2 = ObjectID::permanent("Task", 2, kStore);

// 2026-05-07 + a little; CAST texts count seconds from 2001-01-01.
const Date F = Date::fromSecondsSince1970(978307200.0 + 800000000.0);
const std::string kF = "CAST(800000000.000000, \"NSDate\")";

TEST(PredicateParseTest, SpellingsPrecedenceAndLiteralsHaveOneCanonicalText) {
  const ObjectID folder = ObjectID::permanent("Folder", 7, kStore);
  const struct {
    std::string format;
    std::vector<Value> arguments;
    std::string canonical;
  } cases[] = {
      {"a = 1", {}, "a == 1"},
      {"a <> 1 AND b != 1", {}, "a != 1 AND b != 1"},
      {"a =< 1 AND b <= 1 AND c => 1 AND d >= 1 AND e < 1 AND f > 1", {},
       "a <= 1 AND b <= 1 AND c >= 1 AND d >= 1 AND e < 1 AND f > 1"},
      {"a = 1 && b = 2 || !c = 3", {}, "(a == 1 AND b == 2) OR NOT c == 3"},
      {"a = 1 OR b = 2 AND c = 3", {}, "a == 1 OR (b == 2 AND c == 3)"},
      {"(a = 1 OR b = 2) AND c = 3", {}, "(a == 1 OR b == 2) AND c == 3"},
      {"(a = 1 AND b = 2) AND (c = 3 AND d = 4) OR e = 5", {},
       "(a == 1 AND b == 2 AND c == 3 AND d == 4) OR e == 5"},
      {"NOT a = 1 AND b = 2", {}, "NOT a == 1 AND b == 2"},
      {"not (a = 1 or b = 2)", {}, "NOT (a == 1 OR b == 2)"},
      {"a = yes aNd b = Nil oR c = TRUE or d = null AND e = False", {},
       "(a == YES AND b == nil) OR c == YES OR (d == nil AND e == NO)"},
      {"((a = 1))", {}, "a == 1"},
      {"%@ < begin", {F}, kF + " < begin"},
      {"a.b = zeta.Z_9", {}, "a.b == zeta.Z_9"},
      {"task IN %@ AND parent = %@", {Value::List{kTask1, kTask2}, folder},
       "task IN {" + kTask1.uriRepresentation() + ", " + kTask2.uriRepresentation() +
           "} AND parent == " + folder.uriRepresentation()},
      {"name = 'say \"hi\"'", {}, "name == \"say \\\"hi\\\"\""},
      {"name = \"tab\\tx\\n\\\\\"", {}, "name == \"tab\\tx\\n\\\\\""},
      {"name = '\\u00e9'", {}, "name == \"\xC3\xA9\""},
      {"name = ''", {}, "name == \"\""},
      {"n = -2 AND m = 2.50 AND o = 1e3 AND p = 99999999999999999999 AND q = -0.25", {},
       "n == -2 AND m == 2.5 AND o == 1000 AND p == 1e+20 AND q == -0.25"},
      {"x IN %@", {5}, "x IN {5}"},
      {"x IN %@", {Value()}, "x IN {}"},
      {"x in {1, 'a', nil}", {}, "x IN {1, \"a\", nil}"},
      {"x IN {}", {}, "x IN {}"},
      {"begin >= CAST(800000000.5, \"NSDate\")", {}, "begin >= CAST(800000000.500000, \"NSDate\")"},
      {"begin >= CAST(-1.25, 'NSDate')", {}, "begin >= CAST(-1.250000, \"NSDate\")"},
      // Date literals reach exactly to the edge of the representable range.
      {"d = CAST(1000000000000, 'NSDate')", {}, "d == CAST(1000000000000.000000, \"NSDate\")"},
      {"d = CAST(1e12, 'NSDate')", {}, "d == CAST(1000000000000.000000, \"NSDate\")"},
      {"d = CAST(-1000000000000.5, 'NSDate')", {}, "d == CAST(-1000000000000.500000, \"NSDate\")"},
      {"d = CAST(1e-310, 'NSDate')", {}, "d == CAST(0.000000, \"NSDate\")"},
      {"TRUEPREDICATE", {}, "TRUEPREDICATE"},
      {"falsepredicate OR a = 1", {}, "FALSEPREDICATE OR a == 1"},
      {"NOT NOT a = 1", {}, "NOT NOT a == 1"},
  };
  for (const auto& c : cases) {
    try {
      const Predicate predicate = Predicate::parse(c.format, c.arguments);
      EXPECT_EQ(predicate.predicateFormat(), c.canonical) << c.format;
      // Canonical text without object IDs parses back to itself.
      if (c.canonical.find("x-chronelle") == std::string::npos) {
        EXPECT_EQ(Predicate::parse(predicate.predicateFormat()).predicateFormat(), c.canonical)
            << c.format;
      }
    } catch (const StoreError& error) {
      ADD_FAILURE() << c.format << " threw " << error.what();
    }
  }
}

TEST(PredicateParseTest, ComposedPredicatesAndKeyPaths) {
  const Predicate a = Predicate::parse("a = 1");
  const Predicate bc = Predicate::parse("b = 2 AND c.d = 3");
  EXPECT_EQ(Predicate::allOf({}).predicateFormat() + " " + Predicate::anyOf({}).predicateFormat(),
            "TRUEPREDICATE FALSEPREDICATE");
  EXPECT_EQ(Predicate::allOf({a}).predicateFormat(), "a == 1");
  EXPECT_EQ(Predicate::allOf({a, bc}).predicateFormat(), "a == 1 AND b == 2 AND c.d == 3");
  EXPECT_EQ(Predicate::anyOf({a, bc}).predicateFormat(), "a == 1 OR (b == 2 AND c.d == 3)");
  EXPECT_EQ(Predicate::negation(bc).predicateFormat(), "NOT (b == 2 AND c.d == 3)");
  EXPECT_EQ(Predicate::constant(false).predicateFormat(), "FALSEPREDICATE");

  using Paths = std::vector<std::vector<std::string>>;
  EXPECT_EQ(Predicate::parse("b = 1 OR task.archived = NO OR b < c OR 1 = 1").keyPaths(),
            (Paths{{"b"}, {"task", "archived"}, {"c"}}));
  EXPECT_EQ(Predicate::parse("TRUEPREDICATE").keyPaths(), Paths{});
}

TEST(PredicateParseTest, SyntaxErrorsNameTheirPosition) {
  const struct {
    std::string format;
    std::size_t position;
    std::vector<Value> arguments = {};
  } cases[] = {
      {"", 0}, {"archived ==", 11}, {"archived = NO OR", 16}, {"(end = nil", 10},
      {"end = nil)", 9}, {"archived", 8}, {"NOT", 3}, {"x = 1 y = 2", 6},
      {"name = 'abc", 7}, {"name = \"a\\qb\"", 9}, {"name = '\\u00g1'", 8}, {"a.b.c = 1", 0},
      {"a. = 1", 2}, {"name CONTAINS 'x'", 5}, {"name BETWEEN {1, 2}", 5}, {"name = %K", 7},
      {"x = 1 & y = 2", 6}, {"x = 1 | y = 2", 6}, {"x = --1", 4}, {"x = 1.e5", 6},
      {"x = 12abc", 6}, {"x = @", 4}, {"x == {1, 2}", 5}, {"{1} IN x", 0}, {"x IN y", 5},
      {"x IN {y}", 6}, {"x IN {1, {2}}", 9}, {"x IN {1 2}", 8},
      {"x = CAST(1, \"NSString\")", 12}, {"x = CAST('1', \"NSDate\")", 9},
      // Beyond the representable range: refused, not overflowed nor made an arbitrary date.
      {"x = CAST(1000000000001, 'NSDate')", 4}, {"x = CAST(99999999999999999999999, 'NSDate')", 4},
      {"x = CAST(1e13, 'NSDate')", 4}, {"x = CAST(-1e300, 'NSDate')", 4},
      {"TRUEPREDICATE AND", 17}, {"x = %@", 4}, {"x = %@ AND y = %@", 15, {1}},
      {"x = %@", 6, {1, 2}}, {"x == %@", 5, {Value::List{1}}},
      {"x IN %@", 5, {Value::List{Value::List{1}}}}, {"task < %@", 5, {kTask1}},
      {"%@ >= task", 3, {kTask1}},
  };
  for (const auto& c : cases) {
    try {
      Predicate::parse(c.format, c.arguments);
      ADD_FAILURE() << "parsed: " << c.format;
    } catch (const StoreError& error) {
      EXPECT_EQ(error.code(), StoreError::kInvalidPredicate) << c.format;
      const std::string message = error.what();
      EXPECT_NE(message.find("at position " + std::to_string(c.position) + ":"), std::string::npos)
          << c.format << " -> " << message;
    } catch (const std::exception& error) {
      ADD_FAILURE() << c.format << " threw a non-store error: " << error.what();
    }
  }
}

using Row = testing::PredicateRow;

const Date kDate = Date::fromMicroseconds(1'700'000'000'000'000);
const Date kLater = Date::fromMicroseconds(1'700'000'000'000'001);

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

// The range of begin a period query searches, on its own: the rows it reads, which must hold
// every row the predicate selects (the property test checks that) and, for the entries
// crossing a bound, nothing from the middle of the period.
TEST(PredicateSemanticsTest, SpanRangeReadsOnlyNearTheBoundsItNeeds) {
  const auto hour = [](double h) { return Value(Date::fromSecondsSince1970(h * 3600)); };
  // Rows of at most 3 hours: 0 crosses 100, 1 lies inside [100, 200), 2 crosses 200, 3 lies
  // before, 4 is running since 199.
  const std::vector<testing::PredicateRow> rows = {{{"begin", hour(98)}, {"end", hour(101)}},
                                                   {{"begin", hour(150)}, {"end", hour(151)}},
                                                   {{"begin", hour(199)}, {"end", hour(202)}},
                                                   {{"begin", hour(50)}, {"end", hour(51)}},
                                                   {{"begin", hour(199)}}};
  const Value f = hour(100), t = hour(200);
  const struct {
    std::string format;
    std::vector<Value> arguments;
    std::set<std::int64_t> read;
    bool stated = false;  // no range: the predicate's SQL states it already
    // The predicate's own bounds of begin that the search takes beside the range, which
    // leaves them out.
    std::string alongside = "TRUEPREDICATE";
  } cases[] = {
      // Crossing a bound: near 100 and near 200 only, never row 1.
      {"(begin < %@ AND end > %@) OR (begin < %@ AND end > %@)", {f, f, t, t}, {0, 2, 4}},
      {"((begin < %@ AND end > %@) OR (begin < %@ AND end > %@)) AND end != nil",
       {f, f, t, t},
       {0, 2, 4}},
      {"(begin < %@ AND end > %@) OR (begin < %@ AND end > %@) OR (end = nil AND begin < %@)",
       {f, f, t, t, f},
       {0, 2, 4}},
      // Overlapping the period: all of it, from one longest entry before it.
      {"(begin >= %@ AND begin < %@) OR (end > %@ AND end <= %@)", {f, t, f, t}, {0, 1, 2, 4}},
      // Inside the period: its own bounds of begin, which the range would only repeat.
      {"begin >= %@ AND begin < %@ AND end > %@ AND end <= %@", {f, t, f, t}, {}, true},
      {"begin >= %@ AND begin < %@", {f, t}, {}, true},
      // A bound through the length of an entry, or a union, is more than the SQL states.
      {"begin >= %@ AND end <= %@", {f, t}, {1, 2, 4}, false, "begin >= %@"},
      {"(begin >= %@ AND end <= %@) OR FALSEPREDICATE", {f, t}, {1, 2, 4}},  // stated in an OR only
      {"begin == %@ OR begin == %@", {hour(98), hour(150)}, {0, 1}},
  };
  testing::PredicateTable table;
  table.fill(rows);
  for (const auto& c : cases) {
    const auto range = Predicate::parse(c.format, c.arguments)
                           .spanRangeSql("begin", "end", "r.\"begin\"", "r.\"end\"",
                                         "(SELECT MAX(\"end\" - \"begin\") FROM r)",
                                         "(SELECT MIN(\"end\" - \"begin\") FROM r)", true);
    ASSERT_EQ(range.has_value(), !c.stated) << c.format << "\nrange: " << (range ? range->sql : "none");
    if (!range) continue;
    // Its arguments are the predicate's first.
    const auto used = c.alongside.find("%@") == std::string::npos ? 0 : 1;
    SqlFragment read =
        Predicate::parse(c.alongside, {c.arguments.begin(), c.arguments.begin() + used}).toSql(table);
    read.sql = "(" + read.sql + ") AND " + range->sql;
    read.parameters.insert(read.parameters.end(), range->parameters.begin(), range->parameters.end());
    EXPECT_EQ(table.select(read.sql, read.parameters), c.read) << c.format << "\nread: " << read.sql;
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
