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

void createSchema(Connection& connection, const ObjectModel& model) {
  connection.exec(
      "CREATE TABLE Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE TEXT);"
      "CREATE TABLE Z_PRIMARYKEY (Z_NAME TEXT PRIMARY KEY, Z_MAX INTEGER NOT NULL);"
      "CREATE TABLE Z_ENTITIES (Z_ENT INTEGER PRIMARY KEY, Z_NAME TEXT NOT NULL UNIQUE, Z_SUPER TEXT);");
  for (const auto& entity : model.entities()) {
    if (entity->superentity() != nullptr) continue;
    for (const auto& statement : createTableStatements(*entity->layout().table)) connection.exec(statement);
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
