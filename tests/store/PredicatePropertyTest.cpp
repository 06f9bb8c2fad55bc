// Random predicates on random rows, evaluated by SQLite through the compiled SQL and in
// memory through a subject over the same rows: the two must never disagree.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <random>
#include <set>

#include "chronelle/store/OrderedUnionSql.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoredValueOrder.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";
constexpr int kTasks = 4;
constexpr int kRows = 40;
constexpr int kPredicates = 10'000;

using testing::Kind;
using testing::kPredicateColumns;

const std::int64_t kBaseMicros = 1'700'000'000'000'000;
const std::int64_t kTwoTo53 = std::int64_t{1} << 53;

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  bool chance(int percent) { return pick(100) < percent; }
  template <class T>
  const T& oneOf(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(pick(static_cast<int>(items.size())))];
  }

  ObjectID task(int pk) const { return ObjectID::permanent("Task", pk, kStore); }

  // A value of `kind` from small pools, so that equal values and ties are frequent.
  Value value(Kind kind) {
    switch (kind) {
      case Kind::integer:
        return chance(5) ? Value(kTwoTo53 + 1) : Value(pick(7) - 3);
      case Kind::real:
        return oneOf<Value>(
            {-1.5, -0.0, 0.0, 0.5, 1.0, 2.0, 2.5, 3.0, static_cast<double>(kTwoTo53)});
      case Kind::boolean:
        return Value(chance(50));
      case Kind::text:
        return oneOf<Value>({"", "a", "A", "b", "B", "ab", "5", "1", "2.5", "-1", "\xC3\xA9", "z"});
      case Kind::date:
        // Tiny instants coincide with the small integers, as dates are stored as micros.
        return Value(Date::fromMicroseconds(oneOf<std::int64_t>(
            {kBaseMicros, kBaseMicros + 1, kBaseMicros - 1, kBaseMicros + 1'000'000, 0, 1, 2})));
      case Kind::object:
        if (chance(10)) return Value(ObjectID::temporary("Task"));
        return Value(task(1 + pick(kTasks + 1)));  // pk 5 names no row
      case Kind::blob:
        return oneOf<Value>({Blob{}, Blob{0x35}, Blob{0x00}, Blob{0x35, 0x00}});
      case Kind::any:
        break;
    }
    return value(static_cast<Kind>(pick(7)));
  }

  Value valueOrNull(Kind kind) { return chance(20) ? Value() : value(kind); }

  std::mt19937 random_;
};

// A random predicate as format text plus arguments, built the way callers write them.
class PredicateWriter {
 public:
  explicit PredicateWriter(Generator& g) : g_(g) {}

  std::string predicate(int depth) {
    if (depth == 0 || g_.chance(35)) return comparison();
    const int shape = g_.pick(5);
    if (shape == 0) return "NOT (" + predicate(depth - 1) + ")";
    const char* joiner = shape <= 2 ? " AND " : " OR ";
    std::string text;
    const int children = 2 + g_.pick(2);
    for (int i = 0; i < children; ++i) {
      if (i > 0) text += joiner;
      text += "(" + predicate(depth - 1) + ")";
    }
    return text;
  }

  // A period as lists ask for one, "entries beginning in it, ending in it, spanning it, or
  // running", each alternative maybe left out, sometimes beside another condition.
  std::string period() {
    std::vector<std::string> alternatives;
    if (g_.chance(70)) alternatives.push_back(between("begin >= ", " AND begin < "));
    if (g_.chance(50)) alternatives.push_back(between("end > ", " AND end <= "));
    if (g_.chance(30)) alternatives.push_back(between("begin <= ", " AND end >= "));
    if (alternatives.empty() || g_.chance(60)) {
      alternatives.push_back(g_.chance(50) ? "end = nil" : "end = nil AND begin < " + argument(g_.value(Kind::date)));
    }
    std::string text;
    for (const auto& alternative : alternatives) text += (text.empty() ? "(" : " OR (") + alternative + ")";
    return g_.chance(30) ? "(" + text + ") AND (" + predicate(2) + ")" : text;
  }

  std::vector<Value> arguments;

 private:
  // `first` and `second` each followed by a date argument, in this order.
  std::string between(const std::string& first, const std::string& second) {
    std::string text = first + argument(g_.value(Kind::date));
    return text + second + argument(g_.value(Kind::date));
  }

  Value constant(Kind kind) { return g_.chance(15) ? Value() : g_.value(kind); }

  // The value as a literal or as a %@ argument.
  std::string write(Value v) {
    if (g_.chance(40)) return argument(std::move(v));
    // Spellings of keywords are the parse tests' concern: one each here.
    if (v.isNull()) return "nil";
    if (const auto* b = v.getIf<bool>()) return *b ? "YES" : "NO";
    if (const auto* i = v.getIf<std::int64_t>()) return std::to_string(*i);
    if (const auto* d = v.getIf<double>()) {
      char buffer[32];
      return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, *d).ptr);
    }
    if (const auto* s = v.getIf<std::string>()) {
      const char quote = g_.chance(50) ? '\'' : '"';
      return quote + *s + quote;  // the pool has no quotes or backslashes
    }
    return argument(std::move(v));  // dates, objects, blobs
  }

  std::string argument(Value v) {
    arguments.push_back(std::move(v));
    return "%@";
  }

  Kind kindFor(const testing::PredicateColumn& column) {
    return g_.chance(70) ? column.kind : static_cast<Kind>(g_.pick(8));
  }

  std::string comparison() {
    const testing::PredicateColumn& column = g_.oneOf(kPredicateColumns);
    const int shape = g_.pick(100);
    if (shape < 3) return g_.oneOf<const char*>({"TRUEPREDICATE", "FALSEPREDICATE"});
    if (shape < 20) return membership(column);
    if (shape < 30) return column.keyPath + " " + op(true) + " " + g_.oneOf(kPredicateColumns).keyPath;
    // Objects are compared for equality only; ordering them is refused when parsing.
    const auto isObject = [](const Value& v) { return v.getIf<ObjectID>() != nullptr; };
    if (shape < 33) {
      Value a = constant(Kind::any);
      Value b = constant(Kind::any);
      const bool ordering = !isObject(a) && !isObject(b);
      return write(std::move(a)) + " " + op(ordering) + " " + write(std::move(b));
    }
    Value v = constant(kindFor(column));
    const bool ordering = !isObject(v);
    const std::string value = write(std::move(v));
    return shape < 80 ? column.keyPath + " " + op(ordering) + " " + value
                      : value + " " + op(ordering) + " " + column.keyPath;
  }

  std::string op(bool ordering) {
    return ordering ? g_.oneOf<std::string>({"==", "!=", "<", "<=", ">", ">="}) : g_.oneOf<std::string>({"==", "!="});
  }

  std::string membership(const testing::PredicateColumn& column) {
    Value::List list;
    const int size = g_.pick(5);
    for (int i = 0; i < size; ++i)
      list.push_back(g_.chance(10) ? Value() : g_.value(kindFor(column)));
    if (g_.chance(15)) return column.keyPath + " IN " + argument(g_.valueOrNull(kindFor(column)));
    return column.keyPath + " IN " + argument(Value(std::move(list)));
  }

  Generator& g_;
};

class PredicatePropertyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<testing::PredicateRow> rows(kRows);
    for (auto& row : rows) {
      for (const auto& column : kPredicateColumns) {
        if (column.keyPath.starts_with("task.") && row["task"].isNull()) continue;  // no task: nil
        Value v = g_.valueOrNull(column.kind);
        // A saved row holds permanent keys of real rows only: a temporary ID is never stored.
        if (const auto* id = v.getIf<ObjectID>(); id && (column.kind == Kind::object || id->isTemporaryID()))
          v = g_.task(1 + g_.pick(kTasks));
        row[column.keyPath] = v;
      }
    }
    table_.fill(std::move(rows));
  }

  std::set<std::int64_t> selectedBySql(const Predicate& predicate, std::string& sql) {
    const auto pks = table_.selectedBySql(predicate, sql);
    // Numeric columns that hold no text or blob need no guard on comparisons with numbers.
    Predicate::NumberGuards guards;
    for (const auto& column : kPredicateColumns) {
      const std::string x = "r.\"" + column.keyPath + "\"";
      if ((column.sqlType == "INTEGER" || column.sqlType == "REAL") &&
          table_.db.queryIntegers("SELECT COUNT(*) FROM r WHERE typeof(" + x + ") IN ('text', 'blob')", {}) ==
              std::vector<std::int64_t>{0}) {
        guards.omitted.push_back(x);
      }
    }
    const SqlFragment unguarded = predicate.toSql(table_, guards);
    if (table_.select(unguarded.sql, unguarded.parameters) != pks) {
      ADD_FAILURE() << "leaving out the guards of numbers changes the result\nSQL: " << sql
                    << "\nwithout them: " << unguarded.sql;
    }
    // The range of begin implied for rows as spans from begin to end must not change what
    // is selected, whatever the rows hold (ends before begins, missing ends).
    if (const auto range = predicate.spanRangeSql("begin", "end", "r.\"begin\"", "r.\"end\"",
                                                  "(SELECT MAX(\"end\" - \"begin\") FROM r)",
                                                  "(SELECT MIN(\"end\" - \"begin\") FROM r)")) {
      const SqlFragment fragment = predicate.toSql(table_);
      std::vector<Value> parameters = fragment.parameters;
      parameters.insert(parameters.end(), range->parameters.begin(), range->parameters.end());
      sql += "\nwith the span range: " + range->sql;
      if (table_.select("(" + fragment.sql + ") AND " + range->sql, parameters) != pks) {
        ADD_FAILURE() << "the span range changes the result\nSQL: " << sql;
      }
    }
    return pks;
  }

  std::string describe(std::int64_t pk) const {
    std::string text = "row " + std::to_string(pk) + ":";
    for (const auto& [key, value] : table_.rows()[static_cast<std::size_t>(pk)]) text += " " + key + "=" + value.description();
    return text;
  }

  Generator g_{20240611};
  testing::PredicateTable table_;
};

TEST_F(PredicatePropertyTest, SqlAndMemoryAgreeOnRandomPredicates) {
  int splitting = 0;  // predicates that select some rows but not all
  for (int n = 0; n < kPredicates; ++n) {
    PredicateWriter writer(g_);
    const std::string format = writer.predicate(3);
    std::string label = "predicate #" + std::to_string(n) + ": " + format + "\narguments:";
    for (const auto& a : writer.arguments) label += " " + a.description();
    const Predicate predicate = Predicate::parse(format, writer.arguments);
    std::string sql;
    const auto bySql = selectedBySql(predicate, sql);
    const auto inMemory = table_.selectedInMemory(predicate);
    if (bySql != inMemory) {
      std::vector<std::int64_t> differing;
      std::set_symmetric_difference(bySql.begin(), bySql.end(), inMemory.begin(), inMemory.end(),
                                    std::back_inserter(differing));
      FAIL() << label << "\ncanonical: " << predicate.predicateFormat() << "\nSQL: " << sql << "\n"
             << describe(differing.front())
             << "\nselected by SQL: " << bySql.count(differing.front())
             << ", in memory: " << inMemory.count(differing.front());
    }
    if (!inMemory.empty() && inMemory.size() < table_.rows().size()) ++splitting;
  }
  // A generator that mostly writes predicates true or false on every row would prove little.
  EXPECT_GT(splitting, kPredicates / 3);
}

// A sort on begin over "a range of begin, or other rows" read as the range in index order
// merged with the other rows: the same rows as the predicate selects, in the sort's order with
// ties by key in its direction, whatever begin holds (missing, equal, outside the range).
TEST_F(PredicatePropertyTest, RangeOrOtherRowsMergeInTheOrderOfTheSort) {
  constexpr int kPeriods = 2'000;
  int merged = 0;
  for (int n = 0; n < kPeriods; ++n) {
    PredicateWriter writer(g_);
    const std::string format = writer.period();
    const Predicate predicate = Predicate::parse(format, writer.arguments);
    const auto range = predicate.spanRangeSql("begin", "end", "r.\"begin\"", "r.\"end\"",
                                              "(SELECT MAX(\"end\" - \"begin\") FROM r)",
                                              "(SELECT MIN(\"end\" - \"begin\") FROM r)");
    if (!range || !range->beginRange) continue;
    ++merged;
    const auto selected = table_.selectedInMemory(predicate);
    for (const bool ascending : {true, false}) {
      std::vector<std::int64_t> expected(selected.begin(), selected.end());
      std::stable_sort(expected.begin(), expected.end(), [&](std::int64_t a, std::int64_t b) {
        const int c = compareStoredValues(table_.rows()[static_cast<std::size_t>(a)].at("begin"),
                                          table_.rows()[static_cast<std::size_t>(b)].at("begin"));
        return ascending ? (c != 0 ? c < 0 : a < b) : (c != 0 ? c > 0 : a > b);
      });
      const SqlFragment query = orderedUnionSql("SELECT r.pk, r.\"begin\" FROM r", predicate.toSql(table_),
                                                *range->beginRange, *range->otherwise, 2, ascending);
      const auto bySql = table_.db.queryIntegers(query.sql, query.parameters);
      if (bySql != expected) {
        std::string rows;
        for (const auto pk : bySql) rows += " " + std::to_string(pk);
        rows += "\nexpected:";
        for (const auto pk : expected) rows += " " + std::to_string(pk);
        FAIL() << "period #" << n << (ascending ? " ascending: " : " descending: ") << format
               << "\nSQL: " << query.sql << "\nrows:" << rows;
      }
    }
  }
  // Most periods must take the merged path, or this would prove little.
  EXPECT_GT(merged, kPeriods / 2);
}

}  // namespace
}  // namespace chronelle
