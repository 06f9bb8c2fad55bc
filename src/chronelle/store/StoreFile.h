#pragma once
// Store-internal: looking at a store file before anything may write to it.
//
// A failed open must leave the file exactly as it was. SQLite itself may write when a
// file is opened read-write (recovering a journal, switching to WAL, creating -wal and
// -shm files), so the coordinator first checks the raw header here, then reads the schema
// and metadata through a read-only connection, and only opens the file read-write once
// it is known to be a store it can use (or is new or empty).

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace chronelle {

/// What the bytes of a store file say before SQLite is asked.
enum class StoreFileKind {
  missing,  ///< no file: a new store is created
  empty,    ///< a zero-length file: SQLite treats it as an empty database
  sqlite,   ///< starts with a plausible SQLite header of a file that is not cut short
};

/// What the header of an SQLite file says about it, as the main file holds it (a change
/// still in the write-ahead log is not seen).
struct StoreFileHeader {
  bool wal = false;                 ///< the file is in WAL mode
  std::uint32_t userVersion = 0;    ///< the `user_version` field (0 when never set)
};

/// Checks the file at `file` without opening it with SQLite: it must be missing, empty, or
/// a regular file with a valid SQLite header whose size (unless its write-ahead log holds
/// commits, which a checkpoint may be copying into it) matches the pages the header
/// describes. Throws StoreError kPersistentStoreOpen with a one-line reason ("not an SQLite
/// database", "only zero bytes", "truncated", "a directory") otherwise. Never writes.
/// For an SQLite file, fills `header` when it is not null.
StoreFileKind inspectStoreFile(const std::filesystem::path& file, StoreFileHeader* header = nullptr);

/// A connection that only reads: either its own read-only connection on a file, or one
/// borrowed from the caller (e.g. inside the caller's write transaction). Every failure is
/// a StoreError (kSQLite) with SQLite's message. Use from one thread at a time.
class StoreFileReader {
 public:
  /// Opens `file` read-only. With `allowImmutable`, when no -wal/-shm files exist (nobody
  /// has the store open) the file is read as immutable, so not even those files are
  /// created. While another connection holds a lock, a read waits up to
  /// `busyTimeoutMilliseconds` before it fails. Throws StoreError kPersistentStoreOpen when
  /// SQLite cannot open it.
  static std::unique_ptr<StoreFileReader> openReadOnly(const std::filesystem::path& file, bool allowImmutable = true,
                                                       int busyTimeoutMilliseconds = 5000);
  /// Reads through `db`, which the caller keeps open for the reader's lifetime.
  ///@{
  explicit StoreFileReader(sqlite3* borrowed) : db_(borrowed) {}
  ~StoreFileReader();
  StoreFileReader(const StoreFileReader&) = delete;
  ///@}
  StoreFileReader& operator=(const StoreFileReader&) = delete;

  /// Every row of `sql` (text parameters bound in order), each column as text (NULL as "").
  std::vector<std::vector<std::string>> rows(const std::string& sql, const std::vector<std::string>& parameters = {});
  /// The first column of the first row as an integer (0 when there is no row).
  std::int64_t integer(const std::string& sql, const std::vector<std::string>& parameters = {});

  /// Names of the user tables (not SQLite's own), sorted.
  std::vector<std::string> tables();
  /// Key/value pairs of the metadata table; empty when the table is missing.
  std::map<std::string, std::string> metadata();

 private:
  StoreFileReader(sqlite3* owned, bool owns) : db_(owned), owns_(owns) {}
  sqlite3* db_ = nullptr;
  bool owns_ = false;
};

}  // namespace chronelle
