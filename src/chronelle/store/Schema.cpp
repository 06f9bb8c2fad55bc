#include <array>

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

// Whether the stored value `x` is an integer that doubles hold exactly, so that a running
// total of such values equals SQLite's SUM of them, as long as the magnitudes add up to less
// than 2^53 (every partial sum is then exact in any order).
std::string exactSql(const std::string& x) {
  return "(typeof(" + x + ") IN ('integer', 'real') AND " + x + " = CAST(" + x + " AS INTEGER) AND ABS(" + x +
         ") < 9007199254740992)";
}

// What one row with value `x` adds to its key's sums besides one value, as three
// expressions: one inexact value or none, and the total and magnitude of the exact ones.
std::array<std::string, 3> contributionSql(const std::string& x) {
  const std::string exact = exactSql(x);
  const std::string total = "CASE WHEN " + exact + " THEN CAST(" + x + " AS INTEGER) ELSE 0 END";
  return {"(NOT " + exact + ")", total, "ABS(" + total + ")"};
}

// Statements for a trigger body: the row `row` (NEW or OLD) added to or taken from its sums.
// Rows without a key or without a value take no part, as in a SUM over the key.
std::string addRowSql(const MaintainedSumLayout& sum, const std::string& row) {
  const std::string key = row + ".\"" + sum.keyColumn + "\"";
  const std::string value = row + ".\"" + sum.valueColumn + "\"";
  const auto [inexact, total, magnitude] = contributionSql(value);
  return "INSERT INTO \"" + sum.table + "\" (Z_KEY, Z_VALUES, Z_INEXACT, Z_TOTAL, Z_MAGNITUDE) SELECT " + key + ", 1, " +
         inexact + ", " + total + ", " + magnitude + " WHERE typeof(" + key + ") = 'integer' AND " + value +
         " IS NOT NULL ON CONFLICT (Z_KEY) DO UPDATE SET Z_VALUES = Z_VALUES + 1, Z_INEXACT = Z_INEXACT + "
         "excluded.Z_INEXACT, Z_TOTAL = Z_TOTAL + excluded.Z_TOTAL, Z_MAGNITUDE = Z_MAGNITUDE + excluded.Z_MAGNITUDE;";
}

std::string removeRowSql(const MaintainedSumLayout& sum, const std::string& row) {
  const std::string key = row + ".\"" + sum.keyColumn + "\"";
  const std::string value = row + ".\"" + sum.valueColumn + "\"";
  const auto [inexact, total, magnitude] = contributionSql(value);
  return "UPDATE \"" + sum.table + "\" SET Z_VALUES = Z_VALUES - 1, Z_INEXACT = Z_INEXACT - " + inexact +
         ", Z_TOTAL = Z_TOTAL - " + total + ", Z_MAGNITUDE = Z_MAGNITUDE - " + magnitude + " WHERE Z_KEY = " + key +
         " AND typeof(" + key + ") = 'integer' AND " + value + " IS NOT NULL; DELETE FROM \"" + sum.table +
         "\" WHERE Z_KEY = " + key + " AND Z_VALUES <= 0;";
}

}  // namespace

std::vector<std::string> maintainedSumStatements(const TableLayout& table, const MaintainedSumLayout& sum) {
  const std::string on = " ON \"" + table.name + "\" FOR EACH ROW ";
  const std::string trigger = "CREATE TRIGGER \"" + sum.table;
  return {
      "CREATE TABLE \"" + sum.table +
          "\" (Z_KEY INTEGER PRIMARY KEY, Z_VALUES INTEGER NOT NULL, Z_INEXACT INTEGER NOT NULL, Z_TOTAL NOT NULL, "
          "Z_MAGNITUDE NOT NULL)",
      trigger + "_INSERT\" AFTER INSERT" + on + "BEGIN " + addRowSql(sum, "NEW") + " END",
      trigger + "_DELETE\" AFTER DELETE" + on + "BEGIN " + removeRowSql(sum, "OLD") + " END",
      trigger + "_UPDATE\" AFTER UPDATE OF \"" + sum.keyColumn + "\", \"" + sum.valueColumn + "\"" + on +
          "WHEN OLD.\"" + sum.keyColumn + "\" IS NOT NEW.\"" + sum.keyColumn + "\" OR OLD.\"" + sum.valueColumn +
          "\" IS NOT NEW.\"" + sum.valueColumn + "\" BEGIN " + removeRowSql(sum, "OLD") + " " + addRowSql(sum, "NEW") +
          " END",
  };
}

std::string fillMaintainedSumStatement(const TableLayout& table, const MaintainedSumLayout& sum) {
  const std::string key = "\"" + sum.keyColumn + "\"";
  const std::string value = "\"" + sum.valueColumn + "\"";
  const auto [inexact, total, magnitude] = contributionSql(value);
  // TOTAL adds in floating point, exactly while the magnitudes add up to less than 2^53
  // (SUM would fail on an integer overflow instead). Beyond that the sums stay floating
  // point, which the fetch never takes, and so do the triggers' updates of them.
  const std::string small = "TOTAL(m) < 9007199254740992";
  return "INSERT INTO \"" + sum.table + "\" (Z_KEY, Z_VALUES, Z_INEXACT, Z_TOTAL, Z_MAGNITUDE) SELECT k, COUNT(*), " +
         "SUM(i), CASE WHEN " + small + " THEN CAST(TOTAL(t) AS INTEGER) ELSE TOTAL(t) END, CASE WHEN " + small +
         " THEN CAST(TOTAL(m) AS INTEGER) ELSE TOTAL(m) END FROM (SELECT " + key + " AS k, " + inexact + " AS i, " +
         total + " AS t, " + magnitude + " AS m FROM \"" + table.name + "\" WHERE typeof(" + key + ") = 'integer' AND " +
         value + " IS NOT NULL) GROUP BY k";
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
  if (statement.isNull(column)) return Value();
  switch (type) {
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64: return Value(statement.columnInt64(column));
    case AttributeType::boolean: return Value(statement.columnInt64(column) != 0);
    case AttributeType::date: return Value(Date::fromMicroseconds(statement.columnInt64(column)));
    case AttributeType::doubleType: return Value(statement.columnDouble(column));
    case AttributeType::string: return Value(statement.columnText(column));
    case AttributeType::binaryData:
    case AttributeType::transformable: return Value(statement.columnBlob(column));
  }
  return statement.columnValue(column);
}

}  // namespace chronelle
