#include "chronelle/store/CoordinatorImpl.h"

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

void createSchema(Connection& connection, const ObjectModel& model) {
  connection.exec(
      "CREATE TABLE Z_METADATA (Z_KEY TEXT PRIMARY KEY, Z_VALUE TEXT);"
      "CREATE TABLE Z_PRIMARYKEY (Z_NAME TEXT PRIMARY KEY, Z_MAX INTEGER NOT NULL);"
      "CREATE TABLE Z_ENTITIES (Z_ENT INTEGER PRIMARY KEY, Z_NAME TEXT NOT NULL UNIQUE, Z_SUPER TEXT);");
  for (const auto& entity : model.entities()) {
    if (entity->superentity() != nullptr) continue;
    const TableLayout& table = *entity->layout().table;
    std::string sql = "CREATE TABLE \"" + table.name + "\" (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER NOT NULL, " +
                      "Z_OPT INTEGER NOT NULL";
    for (const auto& column : table.columns) sql += ", \"" + column.name + "\" " + sqlType(column.type);
    sql += ");";
    for (const auto& column : table.columns) {
      if (!column.indexed) continue;
      sql += "CREATE INDEX \"" + table.name + "_" + column.name + "_INDEX\" ON \"" + table.name + "\" (\"" +
             column.name + "\");";
    }
    if (entity->layout().selfAndDescendants.size() > 1) {
      sql += "CREATE INDEX \"" + table.name + "_Z_ENT_INDEX\" ON \"" + table.name + "\" (Z_ENT);";
    }
    sql += "INSERT INTO Z_PRIMARYKEY (Z_NAME, Z_MAX) VALUES ('" + table.name + "', 0);";
    connection.exec(sql);
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
