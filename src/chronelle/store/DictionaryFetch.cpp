// Dictionary fetches: chosen properties and aggregate expressions, optionally grouped or
// distinct, computed by SQLite over saved rows only.

#include <cmath>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/SqlMapper.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

struct OutputColumn {
  std::string key;
  const PropertySlot* slot = nullptr;  // a fetched property
  std::string function;                // an expression ("sum:" …)
  AttributeType resultType = AttributeType::doubleType;
  int index = 0;        // in the SELECT list
  int entityIndex = -1; // to-one with subentities: its entity column
};

constexpr const char* kSumOfHundredths = "sumOfHundredths:";

bool isSum(const std::string& function) { return function == "sum:" || function == kSumOfHundredths; }

// The SQL of an aggregate over `column`, or empty for an unknown function.
std::string sqlAggregate(const std::string& function, const std::string& column) {
  // Integers sum exactly in SQLite; ROUND goes half away from zero like the library.
  if (function == kSumOfHundredths) return "SUM(CAST(ROUND(" + column + " * 100) AS INTEGER))";
  const char* name = nullptr;
  if (function == "sum:") name = "SUM";
  if (function == "count:") name = "COUNT";
  if (function == "min:") name = "MIN";
  if (function == "max:") name = "MAX";
  if (function == "average:") name = "AVG";
  return name == nullptr ? std::string() : std::string(name) + "(" + column + ")";
}

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

}  // namespace

void ObjectContext::Impl::enumerateDictionaries(const FetchRequest& request,
                                               const std::function<void(const ResultDictionary&)>& visit) {
  const EntityDescription& entity = fetchedEntity(request);
  SqlMapper mapper(entity, *store);
  std::vector<OutputColumn> outputs;
  std::vector<std::string> selectList;
  auto addProperty = [&](const std::string& keyPath) {
    const SqlMapper::Column column = mapper.resolve(keyPath);
    OutputColumn out;
    out.key = keyPath;
    out.slot = column.slot;
    out.index = static_cast<int>(selectList.size());
    selectList.push_back(column.sql);
    if (!column.entitySql.empty()) {
      out.entityIndex = static_cast<int>(selectList.size());
      selectList.push_back(column.entitySql);
    }
    outputs.push_back(std::move(out));
  };
  if (request.propertiesToFetch.empty()) {
    for (const auto& slot : entity.layout().slots) addProperty(slot.name);
  }
  for (const auto& property : request.propertiesToFetch) {
    if (const auto* name = std::get_if<std::string>(&property)) {
      addProperty(*name);
      continue;
    }
    const auto& expression = std::get<ExpressionDescription>(property);
    const SqlMapper::Column column = mapper.resolve(expression.keyPath);
    std::string aggregate = sqlAggregate(expression.function, column.sql);
    if (aggregate.empty()) {
      throw StoreError(StoreError::kInvalidPredicate, "unsupported expression function " + expression.function);
    }
    OutputColumn out;
    out.key = expression.name;
    out.slot = column.slot;
    out.function = expression.function;
    out.resultType = expression.resultType;
    // Minimum, maximum and average of instants are instants, whatever type was asked.
    if (column.slot->attribute && column.slot->attribute->type == AttributeType::date && !isSum(expression.function) &&
        expression.function != "count:") {
      out.resultType = AttributeType::date;
    }
    if (expression.function == "count:" || expression.function == kSumOfHundredths) {
      out.resultType = AttributeType::integer64;
    }
    out.index = static_cast<int>(selectList.size());
    selectList.push_back(std::move(aggregate));
    outputs.push_back(std::move(out));
  }
  std::string groupBy;
  for (const auto& key : request.propertiesToGroupBy) {
    const SqlMapper::Column column = mapper.resolve(key);
    groupBy += (groupBy.empty() ? "" : ", ") + column.sql;
    if (!column.entitySql.empty()) groupBy += ", " + column.entitySql;
  }
  std::string order;
  for (const auto& sort : request.sortDescriptors) {
    order += (order.empty() ? "" : ", ") + mapper.resolve(sort.key).sql + (sort.ascending ? " ASC" : " DESC");
  }
  std::string where = "t0.Z_ENT IN (" + store->codeList(entity, request.includesSubentities) + ")";
  std::vector<Value> parameters;
  if (request.predicate) {
    SqlFragment fragment = request.predicate->toSql(mapper);
    where += " AND (" + fragment.sql + ")";
    parameters = std::move(fragment.parameters);
    if (auto range = mapper.spanRange(*request.predicate)) {
      where += " AND " + range->sql;
      parameters.insert(parameters.end(), range->parameters.begin(), range->parameters.end());
    }
  }
  std::string sql = request.returnsDistinctResults ? "SELECT DISTINCT " : "SELECT ";
  for (std::size_t i = 0; i < selectList.size(); ++i) sql += (i ? ", " : "") + selectList[i];
  sql += " FROM \"" + entity.layout().table->name + "\" t0" + mapper.joins() + " WHERE " + where;
  if (!groupBy.empty()) sql += " GROUP BY " + groupBy;
  if (!order.empty()) sql += " ORDER BY " + order;
  if (request.fetchLimit > 0) sql += " LIMIT " + std::to_string(request.fetchLimit);

  auto statement = db().cached(sql);
  for (std::size_t i = 0; i < parameters.size(); ++i) statement->bind(static_cast<int>(i + 1), parameters[i]);
  ++fetchCount;
  // One dictionary serves every row: a key present in the last row keeps its node and only
  // takes the new value, so a long scan does not allocate and free the keys row by row. With
  // a key asked twice the first value must win, which a fresh dictionary per row keeps simple.
  bool repeatedKey = false;
  for (std::size_t i = 0; i < outputs.size() && !repeatedKey; ++i) {
    for (std::size_t j = 0; j < i; ++j) repeatedKey = repeatedKey || outputs[j].key == outputs[i].key;
  }
  ResultDictionary row;
  while (statement->step()) {
    if (repeatedKey) row.clear();
    for (const auto& out : outputs) {
      Value value;
      if (!out.function.empty()) {
        value = statement->columnValue(out.index);
        // A sum over no rows is zero, as the platform reports it; other aggregates of
        // nothing are absent.
        value = value.isNull() ? (isSum(out.function) ? zeroOf(out.resultType) : Value())
                               : toResultType(value, out.resultType);
      } else if (out.slot->isRelationship()) {
        if (!statement->isNull(out.index)) {
          const EntityDescription* destination = out.slot->destination;
          if (out.entityIndex >= 0) {
            if (const auto* e = store->entityForCode(statement->columnInt64(out.entityIndex))) destination = e;
          }
          value = Value(store->objectID(*destination, statement->columnInt64(out.index)));
        }
      } else {
        value = readColumn(*statement, out.index, out.slot->attribute->type);
      }
      // Absent values are left out of the dictionary, as the platform does.
      if (repeatedKey) {
        if (!value.isNull()) row.emplace(out.key, std::move(value));
      } else if (value.isNull()) {
        row.erase(out.key);
      } else {
        row.insert_or_assign(out.key, std::move(value));
      }
    }
    visit(row);
  }
}

}  // namespace chronelle
