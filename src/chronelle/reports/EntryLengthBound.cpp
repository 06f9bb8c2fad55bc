#include "chronelle/reports/EntryLengthBound.h"

#include "chronelle/model/Session.h"
#include "chronelle/store/ObjectContext.h"

namespace chronelle {

std::optional<double> EntryLengthBound::seconds() {
  if (seconds_) return *seconds_;
  seconds_.emplace();
  try {
    FetchRequest request(Session::kEntityName);
    request.resultType = FetchResultType::dictionary;
    request.predicate = Predicate::parse("end != nil");
    request.propertiesToFetch = {ExpressionDescription{"longest", "max:", "confirmedDuration", AttributeType::doubleType}};
    const auto rows = context_.fetchDictionaries(request);
    if (!rows.empty()) {
      if (auto it = rows.front().find("longest"); it != rows.front().end()) {
        if (auto longest = it->second.asDouble()) *seconds_ = *longest + 1.0;
      }
    }
  } catch (const std::exception&) {
    // The fetches that follow go unnarrowed; they report a failing store themselves.
  }
  return *seconds_;
}

std::optional<Predicate> EntryLengthBound::narrowEdges(std::optional<Predicate> edges, const SessionQuery3& query) {
  if (!edges || !query.from || !query.to) return edges;
  const auto bound = seconds();
  if (!bound) return edges;
  // An entry crossing F or T begins before T and, being no longer than the bound, after
  // F minus the bound.
  return Predicate::allOf(
      {*edges, Predicate::parse("begin > %@ AND begin < %@", {*query.from - *bound, *query.to})});
}

std::optional<Predicate> EntryLengthBound::narrowTouching(std::optional<Predicate> touching,
                                                          const SessionQuery3& query) {
  if (!touching || !query.from || !query.to) return touching;
  const auto bound = seconds();
  if (!bound) return touching;
  // A finished entry touching [F, T] begins no later than T (a zero-length one may begin at
  // T) and after F minus the bound; running entries have no length yet and stay as they are.
  return Predicate::allOf({*touching, Predicate::parse("(begin > %@ AND begin <= %@) OR end = nil",
                                                       {*query.from - *bound, *query.to})});
}

}  // namespace chronelle
