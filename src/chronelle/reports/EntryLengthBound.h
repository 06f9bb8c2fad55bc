#pragma once

#include <optional>

#include "chronelle/data/SessionQuery3.h"
#include "chronelle/store/Predicate.h"

namespace chronelle {

class ObjectContext;

/// Narrows the fetches of entries that cross a period's bounds. "Begins before F and ends after
/// F" cannot be bounded by one index, so the store would scan every entry ending after F (or
/// beginning before it). No finished entry is longer than the longest one, so such an entry
/// also begins within that length before F: adding that window turns the fetch into a short
/// range scan on the index of `begin`, with the same result.
///
/// The longest length is read (one pass over the entries, as the stored confirmed duration of
/// every ended entry) on first need and kept for the life of the object, so one bound serves
/// the fetches of one calculation; make a new one for the next. A failed read leaves fetches
/// as they are. Use on the context's queue; not thread-safe.
class EntryLengthBound {
 public:
  /// Bounds for the entries in `context`, which must outlive it.
  explicit EntryLengthBound(ObjectContext& context) : context_(context) {}

  /// The longest finished entry's length plus one second (lengths are stored in whole
  /// seconds); absent when there is none or it cannot be read.
  std::optional<double> seconds();

  /// `edges` (finished entries crossing F or T) narrowed to begin in (F − bound, T). Unchanged
  /// when the query lacks a bound or the bound is unknown.
  std::optional<Predicate> narrowEdges(std::optional<Predicate> edges, const SessionQuery3& query);
  /// `touching` (entries touching [F, T], running ones included) narrowed to running entries
  /// and those beginning in (F − bound, T]. An entry stored with its end before its begin
  /// (which the write side never does) may be left out.
  std::optional<Predicate> narrowTouching(std::optional<Predicate> touching, const SessionQuery3& query);

 private:
  ObjectContext& context_;
  std::optional<std::optional<double>> seconds_;
};

}  // namespace chronelle
