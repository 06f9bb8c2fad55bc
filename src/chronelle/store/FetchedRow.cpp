#include "chronelle/store/FetchedRow.h"

#include <cmath>

#include "chronelle/store/FetchedRowSource.h"

namespace chronelle {
namespace {

Value toResultType(const Value& raw, AttributeType type) {
  switch (type) {
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64:
      if (const auto* d = raw.getIf<double>()) return Value(static_cast<std::int64_t>(std::llround(*d)));
      return raw;
    case AttributeType::doubleType:
      if (auto d = raw.asDouble()) return Value(*d);
      return raw;
    case AttributeType::boolean:
      if (auto b = raw.asBool()) return Value(*b);
      return raw;
    case AttributeType::date:
      if (const auto* i = raw.getIf<std::int64_t>()) return Value(Date::fromMicroseconds(*i));
      if (const auto* d = raw.getIf<double>()) return Value(Date::fromMicroseconds(std::llround(*d)));
      return raw;
    default: return raw;
  }
}

Value zeroOf(AttributeType type) {
  switch (type) {
    case AttributeType::integer16:
    case AttributeType::integer32:
    case AttributeType::integer64: return Value(std::int64_t{0});
    case AttributeType::boolean: return Value(false);
    default: return Value(0.0);
  }
}

bool isInteger(AttributeType type) {
  return type == AttributeType::integer16 || type == AttributeType::integer32 || type == AttributeType::integer64;
}

}  // namespace

std::size_t FetchedRow::size() const { return source_.columns.size(); }

const std::string& FetchedRow::key(std::size_t i) const { return source_.columns[i].key; }

Value FetchedRow::value(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  const Statement& statement = *source_.statement;
  if (!column.function.empty()) {
    const Value raw = statement.columnValue(column.index);
    if (raw.isNull()) return isSumFunction(column.function) ? zeroOf(column.resultType) : Value();
    return toResultType(raw, column.resultType);
  }
  if (column.slot->isRelationship()) {
    if (statement.isNull(column.index)) return Value();
    const EntityDescription* destination = column.slot->destination;
    if (column.entityIndex >= 0) {
      if (const auto* e = source_.store->entityForCode(statement.columnInt64(column.entityIndex))) destination = e;
    }
    return Value(source_.store->objectID(*destination, statement.columnInt64(column.index)));
  }
  return readColumn(statement, column.index, column.slot->attribute->type);
}

// The fast paths below read the same stored column readColumn would, so they agree with
// value(i) viewed the same way; everything else goes through value(i).

std::optional<std::int64_t> FetchedRow::integer(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  if (column.function.empty() && column.slot->attribute != nullptr && isInteger(column.slot->attribute->type)) {
    if (source_.statement->isNull(column.index)) return std::nullopt;
    return source_.statement->columnInt64(column.index);
  }
  return value(i).asInteger();
}

std::optional<double> FetchedRow::real(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  if (column.isPlain(AttributeType::doubleType)) {
    if (source_.statement->isNull(column.index)) return std::nullopt;
    return source_.statement->columnDouble(column.index);
  }
  return value(i).asDouble();
}

std::optional<bool> FetchedRow::boolean(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  if (column.isPlain(AttributeType::boolean)) {
    if (source_.statement->isNull(column.index)) return std::nullopt;
    return source_.statement->columnInt64(column.index) != 0;
  }
  return value(i).asBool();
}

std::optional<Date> FetchedRow::date(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  if (column.isPlain(AttributeType::date)) {
    if (source_.statement->isNull(column.index)) return std::nullopt;
    return Date::fromMicroseconds(source_.statement->columnInt64(column.index));
  }
  return value(i).asDate();
}

std::optional<std::int64_t> FetchedRow::primaryKey(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  if (!column.function.empty() || !column.slot->isRelationship() || source_.statement->isNull(column.index)) {
    return std::nullopt;
  }
  return source_.statement->columnInt64(column.index);
}

std::optional<ObjectID> FetchedRow::objectID(std::size_t i) const {
  const FetchedColumn& column = source_.columns[i];
  if (!column.function.empty() || !column.slot->isRelationship()) return std::nullopt;
  return value(i).asObjectID();
}

}  // namespace chronelle
