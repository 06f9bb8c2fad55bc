// Random predicates on random rows, evaluated by SQLite through the compiled SQL and in
// memory through a subject over the same rows: the two must never disagree.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <random>
#include <set>

#include "chronelle/store/Predicate.h"
#include "chronelle/store/StoreError.h"
#include "store/PredicateTestSupport.h"
#include "store/SqliteTestSupport.h"

namespace chronelle {
namespace {

constexpr const char* kStore = "0F6B1C2A-7D3E-4B5F-8A9C-0123456789AB";
constexpr int kTasks = 4;
constexpr int kSessions = 40;
constexpr int kPredicates = 10'000;

enum class Kind { integer, real, boolean, text, date, object, blob, any };

struct Column {
  std::string keyPath;  // as written in predicates
  std::string sql;      // as the mapper compiles it
  Kind kind;
};

const std::vector<Column> kColumns = {
    {"count", "s.count", Kind::integer},       {"amount", "s.amount", Kind::real},
    {"billable", "s.billable", Kind::boolean}, {"note", "s.note", Kind::text},
    {"begin", "s.begin", Kind::date},          {"end", "s.\"end\"", Kind::date},
    {"task", "s.task", Kind::object},
    {"mixed", "s.mixed", Kind::any},           {"task.archived", "t.archived", Kind::boolean},
    {"task.name", "t.name", Kind::text},       {"task.rate", "t.rate", Kind::real},
};

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

struct TaskRow {
  std::int64_t pk;
  std::map<std::string, Value> values;  // archived, name, rate
};

struct SessionRow {
  std::int64_t pk;
  std::map<std::string, Value> values;  // by key path of a session column
};

class RowSubject : public PredicateSubject {
 public:
  RowSubject(const SessionRow& row, const std::vector<TaskRow>& tasks) : row_(row), tasks_(tasks) {}

  Value valueForKeyPath(std::span<const std::string> path) const override {
    if (path.size() == 1) return lookup(row_.values, path[0]);
    if (path.size() == 2 && path[0] == "task") {
      const Value task = lookup(row_.values, "task");
      if (task.isNull()) return Value();  // through an absent relationship
      for (const auto& t : tasks_) {
        if (t.pk == task.getIf<ObjectID>()->primaryKey()) return lookup(t.values, path[1]);
      }
      return Value();
    }
    throw StoreError(StoreError::kInvalidPredicate,
                     "unknown key path " + testing::joinKeyPath(path));
  }

 private:
  static Value lookup(const std::map<std::string, Value>& values, const std::string& key) {
    const auto it = values.find(key);
    if (it == values.end()) throw StoreError(StoreError::kInvalidPredicate, "unknown key " + key);
    return it->second;
  }
  const SessionRow& row_;
  const std::vector<TaskRow>& tasks_;
};

class ColumnMapper : public PredicateSqlMapper {
 public:
  std::string columnForKeyPath(std::span<const std::string> path) override {
    const std::string key = testing::joinKeyPath(path);
    for (const auto& c : kColumns) {
      if (c.keyPath == key) return c.sql;
    }
    throw StoreError(StoreError::kInvalidPredicate, "unknown key path " + key);
  }
};

// A random predicate as format text plus arguments, built the way callers write them.
class PredicateWriter {
 public:
  explicit PredicateWriter(Generator& g) : g_(g) {}

  std::string predicate(int depth) {
    if (depth == 0 || g_.chance(35)) return comparison();
    const int shape = g_.pick(5);
    if (shape == 0) {
      const std::string inner = predicate(depth - 1);
      return (g_.chance(50) ? "NOT (" : "!(") + inner + ")";
    }
    const char* joiner = shape <= 2 ? g_.oneOf<const char*>({" AND ", " && ", " and "})
                                    : g_.oneOf<const char*>({" OR ", " || ", " Or "});
    std::string text;
    const int children = 2 + g_.pick(2);
    for (int i = 0; i < children; ++i) {
      if (i > 0) text += joiner;
      text += "(" + predicate(depth - 1) + ")";
    }
    return text;
  }

  std::vector<Value> arguments;
  bool printable = true;  // no object or blob arguments: canonical text parses back

 private:
  Value constant(Kind kind) { return g_.chance(15) ? Value() : g_.value(kind); }

  // The value as a literal or as a %@ argument.
  std::string write(Value v) {
    if (g_.chance(40)) return argument(std::move(v));
    if (v.isNull()) return g_.oneOf<const char*>({"nil", "NULL", "Nil"});
    if (const auto* b = v.getIf<bool>()) {
      return *b ? g_.oneOf<const char*>({"YES", "true", "TRUE"})
                : g_.oneOf<const char*>({"NO", "false", "no"});
    }
    if (const auto* i = v.getIf<std::int64_t>()) return std::to_string(*i);
    if (const auto* d = v.getIf<double>()) {
      char buffer[32];
      std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, *d).ptr);
      return text;
    }
    if (const auto* s = v.getIf<std::string>()) {
      const char quote = g_.chance(50) ? '\'' : '"';
      return quote + *s + quote;  // the pool has no quotes or backslashes
    }
    return argument(std::move(v));  // dates, objects, blobs
  }

  std::string argument(Value v) {
    const auto unprintable = [](const Value& x) { return x.getIf<ObjectID>() || x.getIf<Blob>(); };
    if (unprintable(v)) printable = false;
    if (const auto* list = v.getIf<Value::List>()) {
      if (std::any_of(list->begin(), list->end(), unprintable)) printable = false;
    }
    arguments.push_back(std::move(v));
    return "%@";
  }

  Kind kindFor(const Column& column) {
    return g_.chance(70) ? column.kind : static_cast<Kind>(g_.pick(8));
  }

  std::string comparison() {
    const Column& column = g_.oneOf(kColumns);
    const int shape = g_.pick(100);
    if (shape < 3) return g_.oneOf<const char*>({"TRUEPREDICATE", "FALSEPREDICATE"});
    if (shape < 20) return membership(column);
    if (shape < 30) return column.keyPath + " " + op(true) + " " + g_.oneOf(kColumns).keyPath;
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
    if (!ordering) return g_.oneOf<std::string>({"=", "==", "!=", "<>"});
    return g_.oneOf<std::string>({"=", "==", "!=", "<>", "<", "<=", "=<", ">", ">=", "=>"});
  }

  std::string membership(const Column& column) {
    Value::List list;
    const int size = g_.pick(5);
    for (int i = 0; i < size; ++i)
      list.push_back(g_.chance(10) ? Value() : g_.value(kindFor(column)));
    if (g_.chance(15)) return column.keyPath + " IN " + argument(g_.valueOrNull(kindFor(column)));
    return column.keyPath + g_.oneOf<std::string>({" IN ", " in "}) +
           argument(Value(std::move(list)));
  }

  Generator& g_;
};

class PredicatePropertyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.exec("CREATE TABLE Task(pk INTEGER PRIMARY KEY, archived INTEGER, name TEXT, rate REAL)");
    db_.exec(
        "CREATE TABLE Session(pk INTEGER PRIMARY KEY, count INTEGER, amount REAL, billable "
        "INTEGER, note TEXT, "
        "begin INTEGER, \"end\" INTEGER, task INTEGER REFERENCES Task(pk), mixed)");
    for (int pk = 1; pk <= kTasks; ++pk) {
      TaskRow row{pk,
                  {{"archived", g_.valueOrNull(Kind::boolean)},
                   {"name", g_.valueOrNull(Kind::text)},
                   {"rate", g_.valueOrNull(Kind::real)}}};
      db_.queryIntegers("INSERT INTO Task VALUES (?, ?, ?, ?)",
                        {pk, row.values["archived"], row.values["name"], row.values["rate"]});
      tasks_.push_back(std::move(row));
    }
    for (int pk = 1; pk <= kSessions; ++pk) {
      SessionRow row{pk, {}};
      std::vector<Value> parameters{pk};
      for (const auto& column : kColumns) {
        if (column.keyPath.find('.') != std::string::npos) continue;
        Value v = g_.valueOrNull(column.kind);
        if (column.kind == Kind::object && !v.isNull())
          v = g_.task(1 + g_.pick(kTasks));  // rows hold real keys
        row.values[column.keyPath] = v;
        parameters.push_back(v);
      }
      db_.queryIntegers("INSERT INTO Session VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", parameters);
      sessions_.push_back(std::move(row));
    }
  }

  std::set<std::int64_t> selectedBySql(const Predicate& predicate, std::string& sql) {
    ColumnMapper mapper;
    const SqlFragment fragment = predicate.toSql(mapper);
    sql = fragment.sql;
    const std::string select = "SELECT s.pk FROM Session s LEFT JOIN Task t ON t.pk = s.task WHERE ";
    const auto pks = db_.queryIntegers(select + fragment.sql, fragment.parameters);
    // The range of begin implied for rows as spans from begin to end must not change what
    // is selected, whatever the rows hold (ends before begins, missing ends).
    if (const auto range = predicate.spanRangeSql("begin", "end", "s.begin", "s.\"end\"",
                                                  "(SELECT MAX(\"end\" - begin) FROM Session)",
                                                  "(SELECT MIN(\"end\" - begin) FROM Session)")) {
      sql += "\nwith the span range: " + range->sql;
      std::vector<Value> parameters = fragment.parameters;
      parameters.insert(parameters.end(), range->parameters.begin(), range->parameters.end());
      const auto narrowed = db_.queryIntegers(select + "(" + fragment.sql + ") AND " + range->sql, parameters);
      if (std::set<std::int64_t>(narrowed.begin(), narrowed.end()) != std::set<std::int64_t>(pks.begin(), pks.end())) {
        ADD_FAILURE() << "the span range changes the result\nSQL: " << sql;
      }
    }
    return {pks.begin(), pks.end()};
  }

  std::set<std::int64_t> selectedInMemory(const Predicate& predicate) {
    std::set<std::int64_t> pks;
    for (const auto& row : sessions_) {
      if (predicate.evaluate(RowSubject(row, tasks_))) pks.insert(row.pk);
    }
    return pks;
  }

  std::string describe(std::int64_t pk) const {
    std::string text = "session " + std::to_string(pk) + ":";
    const SessionRow& row = sessions_[static_cast<std::size_t>(pk - 1)];
    for (const auto& [key, value] : row.values) text += " " + key + "=" + value.description();
    if (const auto* id = row.values.at("task").getIf<ObjectID>()) {
      for (const auto& [key, value] :
           tasks_[static_cast<std::size_t>(id->primaryKey() - 1)].values) {
        text += " task." + key + "=" + value.description();
      }
    }
    return text;
  }

  Generator g_{20240611};
  testing::MemoryDatabase db_;
  std::vector<TaskRow> tasks_;
  std::vector<SessionRow> sessions_;
};

TEST_F(PredicatePropertyTest, SqlAndMemoryAgreeOnRandomPredicates) {
  int splitting = 0;  // predicates that select some rows but not all
  for (int n = 0; n < kPredicates; ++n) {
    PredicateWriter writer(g_);
    const std::string format = writer.predicate(3);
    std::string arguments;
    for (const auto& a : writer.arguments) arguments += " " + a.description();
    const std::string label =
        "predicate #" + std::to_string(n) + ": " + format + "\narguments:" + arguments;

    const Predicate predicate = Predicate::parse(format, writer.arguments);
    std::string sql;
    const auto bySql = selectedBySql(predicate, sql);
    const auto inMemory = selectedInMemory(predicate);
    if (bySql != inMemory) {
      std::vector<std::int64_t> differing;
      std::set_symmetric_difference(bySql.begin(), bySql.end(), inMemory.begin(), inMemory.end(),
                                    std::back_inserter(differing));
      FAIL() << label << "\ncanonical: " << predicate.predicateFormat() << "\nSQL: " << sql << "\n"
             << describe(differing.front())
             << "\nselected by SQL: " << bySql.count(differing.front())
             << ", in memory: " << inMemory.count(differing.front());
    }
    if (!inMemory.empty() && inMemory.size() < sessions_.size()) ++splitting;

    if (writer.printable) {
      // The canonical text means the same predicate.
      const Predicate reparsed = Predicate::parse(predicate.predicateFormat());
      ASSERT_EQ(selectedInMemory(reparsed), inMemory)
          << label << "\ncanonical: " << predicate.predicateFormat();
    }
  }
  // A generator that mostly writes predicates true or false on every row would prove little.
  EXPECT_GT(splitting, kPredicates / 3);
}

}  // namespace
}  // namespace chronelle
