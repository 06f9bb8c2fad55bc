#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace chronelle::testing {

// A time entry as the store's rows hold it: task identifier, begin and end in whole seconds
// since 1970 (no end while running).
struct EntryRow {
  std::string task;
  long long begin = 0;
  std::optional<long long> end;
  friend bool operator==(const EntryRow&, const EntryRow&) = default;
};

// What a store file holds, read with plain SQL (not through the library), so the library's
// own bookkeeping is checked independently.
struct StoreSnapshot {
  // The result of PRAGMA integrity_check ("ok" for a sound file).
  std::string integrity;
  // Every entry by identifier.
  std::map<std::string, EntryRow> entries;
  // One line per disagreement: an entry whose stored confirmed duration is not its whole
  // seconds from begin to end (0 while running), a task whose stored total is not the sum of
  // its entries', a folder whose total is not the sum of its children's recomputed totals.
  std::vector<std::string> staleTotals;

  // Reads `file` read-only. Fails the test (ADD_FAILURE) when it cannot be read.
  static StoreSnapshot read(const std::filesystem::path& file);
};

// An entry map as text, one "id task begin end" line per entry, for failure messages.
std::string describe(const std::map<std::string, EntryRow>& entries);

}  // namespace chronelle::testing
