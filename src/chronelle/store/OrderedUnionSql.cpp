#include "chronelle/store/OrderedUnionSql.h"

namespace chronelle {

namespace {

void append(std::vector<Value>& to, const std::vector<Value>& values) { to.insert(to.end(), values.begin(), values.end()); }

}  // namespace

SqlFragment orderedUnionSql(const std::string& selectFrom, const SqlFragment& common, const SqlFragment& range,
                            const SqlFragment& otherwise, std::size_t sortColumn, bool ascending) {
  const std::string where = selectFrom + " WHERE " + (common.sql.empty() ? "" : common.sql + " AND ");
  const std::string direction = ascending ? " ASC" : " DESC";
  // `IS NOT TRUE`, not NOT: NOT of an unknown range is unknown, which would drop the row
  // from both sides.
  SqlFragment query{where + "(" + range.sql + ") UNION ALL " + where + "(" + otherwise.sql + ") AND (" + range.sql +
                        ") IS NOT TRUE ORDER BY " + std::to_string(sortColumn) + direction + ", 1" + direction,
                    common.parameters};
  append(query.parameters, range.parameters);
  append(query.parameters, common.parameters);
  append(query.parameters, otherwise.parameters);
  append(query.parameters, range.parameters);
  return query;
}

}  // namespace chronelle
