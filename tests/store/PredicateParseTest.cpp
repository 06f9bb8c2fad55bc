#include <gtest/gtest.h>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";

// 2026-05-07 + a little; CAST texts count seconds from 2001-01-01.
const Date F = Date::fromSecondsSince1970(978307200.0 + 800000000.0);
const std::string kF = "CAST(800000000.000000, \"NSDate\")";

TEST(PredicateParseTest, SpellingsPrecedenceAndLiteralsHaveOneCanonicalText) {
  const ObjectID task1 = ObjectID::permanent("Task", 1, kStore);
  const ObjectID task2 = ObjectID::permanent("Task", 2, kStore);
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
      {"a.b = c.d", {}, "a.b == c.d"},
      {"task IN %@ AND parent = %@", {Value::List{task1, task2}, folder},
       "task IN {" + task1.uriRepresentation() + ", " + task2.uriRepresentation() +
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
  const ObjectID task = ObjectID::permanent("Task", 1, kStore);
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
      {"x IN %@", 5, {Value::List{Value::List{1}}}}, {"task < %@", 5, {task}},
      {"%@ >= task", 3, {task}},
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

}  // namespace
}  // namespace chronelle
