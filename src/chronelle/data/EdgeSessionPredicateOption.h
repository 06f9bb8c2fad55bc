#pragma once

namespace chronelle {

/// How a period query treats time entries that cross the period's bounds F (from) and
/// T (to). The choice is made per request by the caller of SessionQuery3::predicate.
enum class EdgeSessionPredicateOption {
  /// Every entry that touches the period: inside, beginning inside, ending inside, spanning.
  withEdgeSessions,
  /// Entries that begin inside the period, including those running past its end.
  withRightEdgeSessions,
  /// Only entries lying wholly inside the period.
  withoutEdgeSessions,
  /// Only entries that cross F or cross T.
  edgeSessionsOnly,
};

/// The case name ("withEdgeSessions", ...), for descriptions and test output.
const char* toString(EdgeSessionPredicateOption option);

}  // namespace chronelle
