#include "chronelle/store/CoordinatorImpl.h"
#include "chronelle/store/StoreMigration.h"

namespace chronelle {

const char* sqlType(AttributeType type) {
  switch (type) {
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
    case AttributeType::boolean:
    case AttributeType::date: return "INTEGER";
    case AttributeType::doubleType: return "REAL";
    case AttributeType::string: return "TEXT";
    case AttributeType::binaryData:
    case AttributeType::transformable: return "BLOB";
  }
  return "BLOB";
}

std::string indexName(const std::string& table, const std::string& column) {
  return table + "_" + column + "_INDEX";
}

std::string spanLengthSql(const TableLayout& table) {
  return "\"" + table.span.second + "\" - \"" + table.span.first + "\"";
}

std::map<std::string, std::string> tableIndexes(const TableLayout& table) {
  std::map<std::string, std::string> indexes;
  for (const auto& column : table.columns) {
    if (column.indexed) indexes.emplace(indexName(table.name, column.name), "\"" + column.name + "\"");
  }
  // Fetches of one subentity filter its table on the entity code.
  if (table.root->layout().selfAndDescendants.size() > 1) indexes.emplace(indexName(table.name, "Z_ENT"), "Z_ENT");
  // The longest span is its last entry: reading it costs one index step, not a scan.
  if (!table.span.first.empty()) indexes.emplace(indexName(table.name, "ZSPAN"), spanLengthSql(table));
  // Every fetch filters on the entity code, even in a table of one entity, so a composite
  // index carries it last: otherwise each row found would still be read from the table.
  for (const auto& columns : table.compositeIndexes) {
    std::string name;
    std::string body;
    for (const auto& column : columns) {
      name += (name.empty() ? "" : "_") + column;
      body += "\"" + column + "\", ";
    }
    indexes.emplace(indexName(table.name, name), body + "Z_ENT");
  }
  return indexes;
}

std::vector<std::string> createTableStatements(const TableLayout& table) {
  std::string sql = "CREATE TABLE \"" + table.name + "\" (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER NOT NULL, " +
                    "Z_OPT INTEGER NOT NULL";
  for (const auto& column : table.columns) sql += ", \"" + column.name + "\" " + sqlType(column.type);
  sql += ")";
  std::vector<std::string> statements{std::move(sql)};
  for (const auto& [name, body] : tableIndexes(table)) {
    statements.push_back("CREATE INDEX \"" + name + "\" ON \"" + table.name + "\" (" + body + ")");
  }
  statements.push_back("INSERT INTO Z_PRIMARYKEY (Z_NAME, Z_MAX) VALUES ('" + table.name + "', 0)");
  return statements;
}

namespace {

// Whether the stored value `x` (present) is an integer of magnitude below 2^31. An integer
// total of such values equals SQLite's SUM of them over fewer than 2^22 rows: every partial
// sum is then an integer below 2^53, exact in floating point in any order. Text and blobs
// compare unequal to any number. Every process that opens the store parses these triggers,
// so they are kept short.
std::string exactSql(const std::string& x) {
  return "(" + x + " = CAST(" + x + " AS INTEGER) AND ABS(" + x + ") < 2147483648)";
}

// The statement of a trigger body that adds the row `row` (NEW or OLD) to its key's sums
// (`sign` "+") or takes it off ("-"). Rows without a key or a value take no part, as in a
// SUM over the key; a key whose values are all gone keeps a row of zero values.
std::string changeSumSql(const MaintainedSumLayout& sum, const std::string& row, char sign) {
  const std::string key = row + "." + sum.keyColumn;
  const std::string value = row + "." + sum.valueColumn;
  const std::string where = " WHERE typeof(" + key + ") = 'integer' AND " + value + " IS NOT NULL";
  if (sign == '-') {
    return "UPDATE " + sum.table + " SET Z_VALUES = Z_VALUES - 1, Z_INEXACT = Z_INEXACT - NOT e, Z_TOTAL = Z_TOTAL - " +
           "IIF(e, CAST(" + value + " AS INTEGER), 0) FROM (SELECT " + exactSql(value) + " AS e)" + where + " AND Z_KEY = " + key + ";";
  }
  return "INSERT INTO " + sum.table + " SELECT " + key + ", 1, NOT e, IIF(e, CAST(" + value + " AS INTEGER), 0) FROM (SELECT " +
         exactSql(value) + " AS e)" + where +
         " ON CONFLICT DO UPDATE SET Z_VALUES = Z_VALUES + 1, Z_INEXACT = Z_INEXACT + excluded.Z_INEXACT, "
         "Z_TOTAL = Z_TOTAL + excluded.Z_TOTAL;";
}

}  // namespace

std::vector<std::string> maintainedSumStatements(const TableLayout& table, const MaintainedSumLayout& sum) {
  const std::string on = " ON " + table.name + " ";
  const std::string trigger = "CREATE TRIGGER " + sum.table;
  const std::string& key = sum.keyColumn;
  const std::string& value = sum.valueColumn;
  return {
      "CREATE TABLE " + sum.table + " (Z_KEY INTEGER PRIMARY KEY, Z_VALUES INTEGER NOT NULL, Z_INEXACT INTEGER NOT " +
          "NULL, Z_TOTAL INTEGER NOT NULL)",
      trigger + "_INSERT AFTER INSERT" + on + "BEGIN " + changeSumSql(sum, "NEW", '+') + " END",
      trigger + "_DELETE AFTER DELETE" + on + "BEGIN " + changeSumSql(sum, "OLD", '-') + " END",
      trigger + "_UPDATE AFTER UPDATE OF " + key + ", " + value + on + "WHEN OLD." + key + " IS NOT NEW." + key +
          " OR OLD." + value + " IS NOT NEW." + value + " BEGIN " + changeSumSql(sum, "OLD", '-') + " " +
          changeSumSql(sum, "NEW", '+') + " END",
  };
}

std::string fillMaintainedSumStatement(const TableLayout& table, const MaintainedSumLayout& sum) {
  const std::string& key = sum.keyColumn;
  const std::string& value = sum.valueColumn;
  return "INSERT INTO " + sum.table + " SELECT " + key + ", COUNT(*), SUM(NOT e), SUM(IIF(e, CAST(" + value +
         " AS INTEGER), 0)) FROM (SELECT " + key + ", " + value + ", " + exactSql(value) + " AS e FROM " + table.name +
         " WHERE typeof(" + key + ") = 'integer' AND " + value + " IS NOT NULL) GROUP BY " + key;
}

void createSchema(Connection& connection, const ObjectModel& model) {
  connection.exec(
      "CREATE TABLE Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE TEXT);"
      "CREATE TABLE Z_PRIMARYKEY (Z_NAME TEXT PRIMARY KEY, Z_MAX INTEGER NOT NULL);"
      "CREATE TABLE Z_ENTITIES (Z_ENT INTEGER PRIMARY KEY, Z_NAME TEXT NOT NULL UNIQUE, Z_SUPER TEXT);");
  for (const auto& entity : model.entities()) {
    if (entity->superentity() != nullptr) continue;
    const TableLayout& table = *entity->layout().table;
    for (const auto& statement : createTableStatements(table)) connection.exec(statement);
    for (const auto& sum : table.sums) {
      for (const auto& statement : maintainedSumStatements(table, sum)) connection.exec(statement);
    }
  }
}

Value readColumn(const Statement& statement, int column, AttributeType type) {
  // A number reads as 0 for NULL, so only a zero needs the second call that tells them apart.
  switch (type) {
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
    case AttributeType::boolean:
    case AttributeType::date: {
      const std::int64_t number = statement.columnInt64(column);
      if (number == 0 && statement.isNull(column)) return Value();
      if (type == AttributeType::boolean) return Value(number != 0);
      if (type == AttributeType::date) return Value(Date::fromMicroseconds(number));
      return Value(number);
    }
    case AttributeType::doubleType: {
      const double number = statement.columnDouble(column);
      if (number == 0.0 && statement.isNull(column)) return Value();
      return Value(number);
    }
    default: break;
  }
  if (statement.isNull(column)) return Value();
  switch (type) {
    case AttributeType::string: return Value(statement.columnText(column));
    case AttributeType::binaryData:
    case AttributeType::transformable: return Value(statement.columnBlob(column));
    default: break;
  }
  return statement.columnValue(column);
}

}  // namespace chronelle
