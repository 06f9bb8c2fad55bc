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

// What a store file holds, read with plain SQL rather than through the library, so that the
// library's own bookkeeping is checked independently.
struct StoreSnapshot {
  std::string integrity;                    // PRAGMA integrity_check: "ok" for a sound file
  std::map<std::string, EntryRow> entries;  // by identifier
  // One line per stored total that disagrees with the entries: an entry's (whole seconds from
  // begin to end, 0 while running), a task's (the sum of its entries'), a folder's (the sum of
  // its children's recomputed totals).
  std::vector<std::string> staleTotals;

  // Reads `file` read-only; fails the test when it cannot.
  static StoreSnapshot read(const std::filesystem::path& file);
};

// Entries as text, one "id task begin end" line each, for failure messages.
std::string describe(const std::map<std::string, EntryRow>& entries);

}  // namespace chronelle::testing
