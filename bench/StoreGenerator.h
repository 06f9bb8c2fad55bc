#pragma once
// Deterministic stores of realistic shape for the benchmarks, cached on disk by size and
// seed so that a run only pays for generation once.

#include <cstdint>
#include <filesystem>

namespace chronelle::bench {

// The shape every generated store has: 10 clients, 4 projects each, 5 tasks per project
// (200 tasks, 10 archived), entries on the weekdays from `kFirstDay` to `kLastDay` (UTC).
struct StoreShape {
  static constexpr int kClients = 10;
  static constexpr int kProjectsPerClient = 4;
  static constexpr int kTasksPerProject = 5;
  // 2021-01-01 and 2026-01-01 00:00 UTC, seconds since 1970: five whole years.
  static constexpr std::int64_t kFirstDay = 1'609'459'200;
  static constexpr std::int64_t kEndDay = 1'767'225'600;
};

// What identifies a generated store.
struct StoreKey {
  std::int64_t entries = 0;
  std::uint64_t seed = 1;
};

// The directory holding the store file `kStoreFileName` for `key` below `cacheRoot`; the
// store is generated (through the library's own write path) when it is not there yet,
// printing progress and the time it took to stderr. Throws on any failure; a store is
// only moved into place once complete, so an interrupted run leaves no half store.
std::filesystem::path ensureStore(const std::filesystem::path& cacheRoot, const StoreKey& key);

// The file name the stack uses inside a store directory.
inline constexpr const char* kStoreFileName = "Chronelle.sqlite";

}  // namespace chronelle::bench
