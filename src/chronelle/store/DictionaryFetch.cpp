// Dictionary fetches: chosen properties and aggregate expressions, optionally grouped or
// distinct, computed by SQLite over saved rows only.

#include <algorithm>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/FetchedNumericRow.h"
#include "chronelle/store/FetchedRow.h"
#include "chronelle/store/FetchedRowSource.h"
#include "chronelle/store/SqlMapper.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

constexpr const char* kSumOfHundredths = "sumOfHundredths:";

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

// The sum the store maintains that answers `request` exactly: a request for the sum of one
// attribute over the entries where one to-one relationship equals a given value, on an
// entity that is alone in its table (so the entity codes a fetch filters on are those of
// every row). Null for any other request; `key` is set to the value.
const MaintainedSumLayout* maintainedSum(const FetchRequest& request, const EntityDescription& entity, Value& key) {
  const TableLayout& table = *entity.layout().table;
  if (table.sums.empty() || table.root != &entity || entity.layout().selfAndDescendants.size() != 1 ||
      !request.predicate || request.propertiesToFetch.size() != 1 || !request.propertiesToGroupBy.empty()) {
    return nullptr;
  }
  const auto* expression = std::get_if<ExpressionDescription>(&request.propertiesToFetch.front());
  if (expression == nullptr || expression->function != "sum:" || !expression->onlyWhere.empty()) return nullptr;
  auto equality = request.predicate->keyEqualsValue();
  if (!equality) return nullptr;
  const int valueSlot = entity.layout().slot(expression->keyPath);
  const int keySlot = entity.layout().slot(equality->first);
  if (valueSlot < 0 || keySlot < 0) return nullptr;
  const PropertySlot& value = entity.layout().slots[static_cast<std::size_t>(valueSlot)];
  const PropertySlot& relationship = entity.layout().slots[static_cast<std::size_t>(keySlot)];
  if (value.attribute == nullptr || !relationship.isRelationship() || !equality->second.asObjectID()) return nullptr;
  for (const auto& sum : table.sums) {
    if (table.columns[static_cast<std::size_t>(value.column)].name == sum.valueColumn &&
        table.columns[static_cast<std::size_t>(relationship.column)].name == sum.keyColumn) {
      key = std::move(equality->second);
      return &sum;
    }
  }
  return nullptr;
}

// The conditions after the entity codes: the predicate's and its span range. The rows are read
// in `snapshot` (when given; see SqlMapper::predicateSql), so the guards it leaves out hold on
// every one of them. A fetch answered by a maintained sum has none: its statement mostly reads
// no rows to test.
SqlFragment conditions(const FetchRequest& request, SqlMapper& mapper, ReadSnapshot* snapshot) {
  if (!request.predicate) return {};
  SqlFragment where = mapper.predicateSql(*request.predicate, snapshot);
  where.sql = " AND (" + where.sql + ")";
  if (const std::optional<SpanRangeFragment> range = mapper.spanRange(*request.predicate)) {
    where.sql += " AND " + range->sql;
    where.parameters.insert(where.parameters.end(), range->parameters.begin(), range->parameters.end());
  }
  return where;
}

// The SQL of a row fetch, its parameters and where each requested column sits in it.
struct RowQuery {
  std::string sql;
  std::vector<Value> parameters;
  std::vector<FetchedColumn> outputs;
};

// The rows are to be read in `snapshot`.
RowQuery rowQuery(const FetchRequest& request, const EntityDescription& entity,
                  const PersistentStoreCoordinator::Impl& store, ReadSnapshot& snapshot) {
  SqlMapper mapper(entity, store);
  std::vector<FetchedColumn> outputs;
  std::vector<std::string> selectList;
  auto addProperty = [&](const std::string& keyPath) {
    const SqlMapper::Column column = mapper.resolve(keyPath);
    FetchedColumn out;
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
    // A mandatory attribute of the row itself is in every saved row (a save without it is
    // refused, as the span's range already assumes of `begin`): counting it counts the
    // rows, which SQLite does without decoding the column from each.
    const bool countsRows = expression.function == "count:" && expression.onlyWhere.empty() &&
                            column.slot->attribute && !column.slot->attribute->optional &&
                            expression.keyPath.find('.') == std::string::npos;
    // Rows where the condition does not hold give NULL, which every aggregate skips.
    std::string aggregate =
        countsRows ? std::string("COUNT(*)")
                   : sqlAggregate(expression.function,
                                  expression.onlyWhere.empty()
                                      ? column.sql
                                      : "(CASE WHEN " + mapper.resolve(expression.onlyWhere).sql +
                                            " THEN " + column.sql + " END)");
    if (aggregate.empty()) {
      throw StoreError(StoreError::kInvalidPredicate, "unsupported expression function " + expression.function);
    }
    FetchedColumn out;
    out.key = expression.name;
    out.slot = column.slot;
    out.function = expression.function;
    out.resultType = expression.resultType;
    // Minimum, maximum and average of instants are instants, whatever type was asked.
    if (column.slot->attribute && column.slot->attribute->type == AttributeType::date && !isSumFunction(expression.function) &&
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
  const std::string entities = store.entityFilter(entity, request.includesSubentities, "t0.Z_ENT");
  Value key;
  const MaintainedSumLayout* sum = maintainedSum(request, entity, key);
  const SqlFragment where = conditions(request, mapper, sum == nullptr ? &snapshot : nullptr);
  std::string select = request.returnsDistinctResults ? "SELECT DISTINCT " : "SELECT ";
  for (std::size_t i = 0; i < selectList.size(); ++i) select += (i ? ", " : "") + selectList[i];
  select += " FROM \"" + entity.layout().table->name + "\" t0" + mapper.joins() + " WHERE " + entities;
  std::string tail;
  if (!groupBy.empty()) tail += " GROUP BY " + groupBy;
  if (!order.empty()) tail += " ORDER BY " + order;
  if (request.fetchLimit > 0) tail += " LIMIT " + std::to_string(request.fetchLimit);
  // A sum the store maintains is read in one step instead of from every row of the group.
  // It is taken only while exact (fewer than 2^22 values, every one an integer below 2^31:
  // SUM over the rows then adds integers below 2^53 and gives the same number). Otherwise,
  // and for a key without a value (NULL from both), the rows are summed as before.
  RowQuery query{select + where.sql + tail, where.parameters, std::move(outputs)};
  if (sum != nullptr) {
    query.sql = "SELECT COALESCE((SELECT Z_TOTAL FROM " + sum->table +
                " WHERE Z_KEY = ? AND Z_INEXACT = 0 AND Z_VALUES BETWEEN 1 AND 4194303), (" + query.sql + "))";
    query.parameters.insert(query.parameters.begin(), key);
  }
  return query;
}

CachedStatement boundStatement(Connection& db, const RowQuery& query) {
  auto statement = db.cached(query.sql);
  statement->bindAll(query.parameters);
  return statement;
}

}  // namespace

void ObjectContext::Impl::enumerateRows(const FetchRequest& request,
                                       const std::function<void(const FetchedRow&)>& visit) {
  ReadSnapshot snapshot(db());
  RowQuery query = rowQuery(request, fetchedEntity(request), *store, snapshot);
  auto statement = boundStatement(db(), query);
  ++fetchCount;
  const FetchedRowSource source{&*statement, std::move(query.outputs), store};
  const FetchedRow row(source);
  while (statement->step()) visit(row);
  snapshot.release();
}

void FetchedNumericRow::enumerate(ObjectContext& context, const FetchRequest& request,
                                  const std::function<void(const FetchedNumericRow&)>& visit) {
  ObjectContext::Impl& impl = context.impl();
  ReadSnapshot snapshot(impl.db());
  RowQuery query = rowQuery(request, impl.fetchedEntity(request), *impl.store, snapshot);
  // Each column is read with one call, as a number: SQLite gives 0 for NULL, so only a zero
  // asks the type that tells them apart (as the store reads stored numbers everywhere).
  struct Read {
    int index;  // in the SELECT list
    bool real;
  };
  std::vector<Read> reads;
  for (const FetchedColumn& column : query.outputs) {
    const AttributeDescription* attribute = column.slot->attribute;
    const AttributeType type = attribute != nullptr ? attribute->type : AttributeType::string;
    const bool numeric = type == AttributeType::integer16 || type == AttributeType::integer32 ||
                         type == AttributeType::integer64 || type == AttributeType::boolean ||
                         type == AttributeType::date || type == AttributeType::doubleType;
    if (!column.function.empty() || (attribute != nullptr && !numeric) ||
        (attribute == nullptr && !column.slot->isRelationship())) {
      throw StoreError(StoreError::kInvalidPredicate, "a numeric row fetch cannot read " + column.key);
    }
    reads.push_back(Read{column.index, attribute != nullptr && type == AttributeType::doubleType});
  }
  if (request.returnsDistinctResults || !request.propertiesToGroupBy.empty()) {
    throw StoreError(StoreError::kInvalidPredicate, "a numeric row fetch reads rows, not groups");
  }
  auto statement = boundStatement(impl.db(), query);
  ++impl.fetchCount;
  const FetchedRowSource source{&*statement, std::move(query.outputs), impl.store};
  FetchedNumericRow row(source);
  row.numbers_.resize(reads.size());
  row.nulls_.resize(reads.size());
  const Statement& values = *statement;
  Number* numbers = row.numbers_.data();
  unsigned char* nulls = row.nulls_.data();
  while (statement->step()) {
    for (std::size_t i = 0; i < reads.size(); ++i) {
      const Read read = reads[i];
      if (read.real) {
        numbers[i].real = values.columnDouble(read.index);
        nulls[i] = numbers[i].real == 0.0 && values.isNull(read.index);
      } else {
        numbers[i].integer = values.columnInt64(read.index);
        nulls[i] = numbers[i].integer == 0 && values.isNull(read.index);
      }
    }
    visit(row);
  }
  snapshot.release();
}

std::optional<ObjectID> FetchedNumericRow::objectID(std::size_t i) const { return FetchedRow(source_).objectID(i); }

void ObjectContext::Impl::enumerateDictionaries(const FetchRequest& request,
                                               const std::function<void(const ResultDictionary&)>& visit) {
  // One dictionary serves every row: a key present in the last row keeps its node and only
  // takes the new value, so a long scan does not allocate and free the keys row by row. With
  // a key asked twice the first value must win, which a fresh dictionary per row keeps simple.
  ResultDictionary dictionary;
  std::optional<bool> repeatedKey;
  enumerateRows(request, [&](const FetchedRow& row) {
    if (!repeatedKey) {
      repeatedKey = false;
      for (std::size_t i = 0; i < row.size() && !*repeatedKey; ++i) {
        for (std::size_t j = 0; j < i; ++j) *repeatedKey = *repeatedKey || row.key(j) == row.key(i);
      }
    }
    if (*repeatedKey) dictionary.clear();
    for (std::size_t i = 0; i < row.size(); ++i) {
      Value value = row.value(i);
      // Absent values are left out of the dictionary, as the platform does.
      if (*repeatedKey) {
        if (!value.isNull()) dictionary.emplace(row.key(i), std::move(value));
      } else if (value.isNull()) {
        dictionary.erase(row.key(i));
      } else {
        dictionary.insert_or_assign(row.key(i), std::move(value));
      }
    }
    visit(dictionary);
  });
}

}  // namespace chronelle
