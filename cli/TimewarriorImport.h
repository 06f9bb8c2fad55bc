#pragma once

#include <optional>
#include <string>
#include <vector>

#include "chronelle/platform/Date.h"

namespace chronelle::cli {

// The intervals of a `timew export` document, checked before anything is written. A value
// type; thread-safe as any value.
struct TimewarriorInterval {
  Date start;
  // Absent for the interval that is still open (only the last one may be).
  std::optional<Date> end;
  // The first tag, or "Untagged".
  std::string taskName;
  // The annotation and the other tags as "#tag", joined by spaces; absent when there are none.
  std::optional<std::string> notes;
};

// Reads the JSON array `timew export` prints: objects with "start" ("20240301T080600Z"),
// optional "end", "tags" (strings) and "annotation". Throws CliError (failure) naming the
// first element that is wrong (1-based) and why: not an object, a missing or malformed time,
// an end before its start, tags that are not strings, an open interval that is not the last.
std::vector<TimewarriorInterval> parseTimewarriorExport(const std::string& text);

}  // namespace chronelle::cli
