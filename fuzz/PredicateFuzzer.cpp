// The predicate parser on arbitrary format text, and the two evaluations behind it: every
// predicate that parses must
//  - give the same rows in memory as its SQL gives in SQLite, on a small table whose
//    columns hold values of every kind (absent, booleans, integers, doubles, text, dates);
//  - print as canonical text that parses back to a predicate with the same answers, and
//    whose own text is then stable.
// Parse failures must be StoreError(kInvalidPredicate); anything else thrown is a crash.

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "chronelle/store/Predicate.h"
#include "chronelle/store/Sqlite.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {
namespace {

constexpr int kColumns = 4;

// Row values by column; every key path reads one column, chosen by a hash of its text.
const std::vector<std::vector<Value>>& rows() {
  static const std::vector<std::vector<Value>> values = {
      {Value(), Value(0), Value("abc"), Value(true)},
      {Value(1), Value(2.5), Value(""), Value(Date::fromMicroseconds(0))},
      {Value("ABC"), Value(std::numeric_limits<std::int64_t>::max()), Value(-1), Value()},
      {Value(2.5), Value(), Value(std::string("a\0b", 3)), Value(1)},
      {Value(false), Value(9007199254740993), Value(Date::fromMicroseconds(978307200000000)),
       Value("1")},
  };
  return values;
}

int columnOf(std::span<const std::string> path) {
  std::uint32_t hash = 2166136261u;
  for (const auto& component : path) {
    for (const char c : component) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    hash = (hash ^ '.') * 16777619u;
  }
  return static_cast<int>(hash % kColumns);
}

class RowSubject final : public PredicateSubject {
 public:
  explicit RowSubject(const std::vector<Value>& row) : row_(row) {}
  Value valueForKeyPath(std::span<const std::string> path) const override {
    return row_[columnOf(path)];
  }

 private:
  const std::vector<Value>& row_;
};

class ColumnMapper final : public PredicateSqlMapper {
 public:
  std::string columnForKeyPath(std::span<const std::string> path) override {
    return "t.c" + std::to_string(columnOf(path));
  }
};

Connection& database() {
  static const auto connection = [] {
    auto c = std::make_unique<Connection>(":memory:", true, 0);
    c->exec("CREATE TABLE t(id INTEGER PRIMARY KEY, c0, c1, c2, c3)");
    for (std::size_t r = 0; r < rows().size(); ++r) {
      Statement insert(*c, "INSERT INTO t VALUES (?, ?, ?, ?, ?)");
      insert.bindInt64(1, static_cast<std::int64_t>(r));
      for (int column = 0; column < kColumns; ++column) insert.bind(column + 2, rows()[r][column]);
      insert.run();
    }
    return c;
  }();
  return *connection;
}

// The rows (as a bit set) the predicate selects in memory.
std::uint32_t inMemory(const Predicate& predicate) {
  std::uint32_t selected = 0;
  for (std::size_t r = 0; r < rows().size(); ++r) {
    if (predicate.evaluate(RowSubject(rows()[r]))) selected |= 1u << r;
  }
  return selected;
}

// The rows the compiled SQL selects; absent when SQLite refuses the statement (a limit
// such as the expression depth, which only enormous predicates reach).
std::optional<std::uint32_t> inSql(const Predicate& predicate) {
  ColumnMapper mapper;
  const SqlFragment fragment = predicate.toSql(mapper);
  try {
    Statement select(database(), "SELECT id FROM t WHERE " + fragment.sql);
    for (std::size_t i = 0; i < fragment.parameters.size(); ++i)
      select.bind(static_cast<int>(i + 1), fragment.parameters[i]);
    std::uint32_t selected = 0;
    while (select.step()) selected |= 1u << select.columnInt64(0);
    return selected;
  } catch (const StoreError& e) {
    if (e.code() != StoreError::kSQLite) throw;
    return std::nullopt;
  }
}

// Arguments for the format's %@, in turn from a pool of every kind a caller passes.
std::vector<Value> argumentsFor(std::string_view format) {
  static const std::vector<Value> pool = {
      Value(3),
      Value("abc"),
      Value(Date::fromMicroseconds(1'000'000)),
      Value(Value::List{Value(1), Value("abc"), Value()}),
      Value(),
      Value(std::nan("")),
      Value(true),
      Value(2.5),
      Value(Value::List{}),
  };
  std::vector<Value> arguments;
  for (auto at = format.find("%@"); at != std::string_view::npos; at = format.find("%@", at + 2))
    arguments.push_back(pool[arguments.size() % pool.size()]);
  return arguments;
}

std::optional<Predicate> parse(std::string_view format, std::vector<Value> arguments) {
  try {
    return Predicate::parse(format, std::move(arguments));
  } catch (const StoreError& e) {
    if (e.code() != StoreError::kInvalidPredicate)
      fuzz::fail("parse threw StoreError " + std::to_string(e.code()), format);
    return std::nullopt;
  }
}

}  // namespace
}  // namespace chronelle

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  using namespace chronelle;
  const std::string_view input = fuzz::asText(data, size);
  const auto predicate = parse(input, argumentsFor(input));
  if (!predicate) return 0;

  const std::uint32_t memory = inMemory(*predicate);
  if (const auto sql = inSql(*predicate); sql && *sql != memory) {
    fuzz::fail("memory selects rows " + std::to_string(memory) + ", SQL rows " +
                   std::to_string(*sql) + "; canonical text: " + predicate->predicateFormat(),
               input);
  }

  const std::string text = predicate->predicateFormat();
  const auto reparsed = parse(text, {});
  if (!reparsed) fuzz::fail("canonical text does not parse: " + text, input);
  if (inMemory(*reparsed) != memory) fuzz::fail("canonical text answers otherwise: " + text, input);
  const std::string again = reparsed->predicateFormat();
  const auto third = parse(again, {});
  if (!third || third->predicateFormat() != again)
    fuzz::fail("canonical text is not stable: " + text + " -> " + again, input);
  return 0;
}
