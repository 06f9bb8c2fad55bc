#include "chronelle/store/StoreFile.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <system_error>

#include "chronelle/store/KeptLogVfs.h"
#include "chronelle/store/Sqlite.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

constexpr std::size_t kHeaderSize = 100;
constexpr char kMagic[] = "SQLite format 3";  // followed by a zero byte

StoreError badFile(const std::string& reason) { return StoreError(StoreError::kPersistentStoreOpen, reason); }

std::uint32_t bigEndian(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

// A URI for sqlite3_open_v2 with SQLITE_OPEN_URI: every byte that could be read as URI
// syntax (or is not plain ASCII) is percent-encoded.
std::string fileURI(const std::filesystem::path& file, const std::string& query) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const unsigned char c : std::filesystem::absolute(file).string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return uri + "?" + query;
}

[[noreturn]] void fail(sqlite3* db, const std::string& sql) {
  throw StoreError(StoreError::kSQLite, "`" + sql + "`: " + sqlite3_errmsg(db),
                   {{"NSSQLiteErrorDomain", sqlite3_errcode(db)}});
}

// Whether the log holds commits, which a checkpoint of another process may be copying into
// the file right now. The log stays between processes, emptied logs keep their size, so
// neither its presence nor its size says anything.
bool logHoldsCommits(const std::filesystem::path& file) {
  return KeptLogVfs::logHoldsFrames(file.string() + "-wal");
}

bool inUse(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::exists(file.string() + "-wal", error) ||
         std::filesystem::exists(file.string() + "-shm", error);
}

// Reads the first `count` bytes of the file through SQLite's own file layer. SQLite's locks
// are POSIX record locks, which a process loses on every descriptor of the file as soon as it
// closes any one of them; a plain read here would drop the locks of this process's open
// connections to the store. SQLite's file layer knows them and keeps the descriptor open until
// they are released. Throws StoreError when the file cannot be read.
std::size_t readHead(const std::filesystem::path& file, unsigned char* bytes, std::size_t count) {
  Connection::configureLibrary();  // the store's first call into SQLite
  sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
  if (vfs == nullptr) throw badFile("cannot read the file: SQLite has no file layer");
  std::vector<std::max_align_t> storage((static_cast<std::size_t>(vfs->szOsFile) + sizeof(std::max_align_t) - 1) /
                                        sizeof(std::max_align_t));
  auto* handle = reinterpret_cast<sqlite3_file*>(storage.data());
  const std::string path = std::filesystem::absolute(file).string();
  int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB;
  int rc = vfs->xOpen(vfs, path.c_str(), handle, flags, &flags);
  if (rc != SQLITE_OK) {
    // A failed open leaves no methods to close with.
    throw badFile(std::string("cannot read the file: ") + sqlite3_errstr(rc));
  }
  rc = handle->pMethods->xRead(handle, bytes, static_cast<int>(count), 0);
  handle->pMethods->xClose(handle);
  // A short read fills the rest with zeros and is not an error: the size was checked apart.
  if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ) throw badFile(std::string("cannot read the file: ") + sqlite3_errstr(rc));
  return count;
}

}  // namespace

StoreFileKind inspectStoreFile(const std::filesystem::path& file, StoreFileHeader* header) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) return StoreFileKind::missing;
  if (error) throw badFile("cannot read the file: " + error.message());
  if (status.type() == std::filesystem::file_type::directory) throw badFile("it is a directory, not a store file");
  if (status.type() != std::filesystem::file_type::regular) throw badFile("it is not a regular file");
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error) throw badFile("cannot read the file: " + error.message());
  if (size == 0) return StoreFileKind::empty;

  std::array<unsigned char, 512> bytes{};
  const std::size_t got = readHead(file, bytes.data(), static_cast<std::size_t>(std::min<std::uintmax_t>(size, bytes.size())));
  if (got > 0 && std::all_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got),
                             [](unsigned char b) { return b == 0; })) {
    throw badFile("the file holds only zero bytes where the SQLite header should be");
  }
  const std::size_t magicSize = sizeof(kMagic);  // with its zero byte
  if (!std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(got, magicSize)), kMagic) ||
      got < magicSize) {
    throw badFile("the file is not an SQLite database (it does not start with the SQLite header)");
  }
  if (got < kHeaderSize) {
    throw badFile("the file is truncated: " + std::to_string(size) + " bytes are less than the SQLite header");
  }
  std::uint32_t pageSize = bigEndian(&bytes[16], 2);
  if (pageSize == 1) pageSize = 65536;
  if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0 || bytes[21] != 64 ||
      bytes[22] != 32 || bytes[23] != 32 || bytes[19] > 2) {
    throw badFile("the file has a damaged SQLite header");
  }
  if (header != nullptr) {
    header->wal = bytes[18] == 2 && bytes[19] == 2;
    header->userVersion = bigEndian(&bytes[60], 4);
  }
  // A process may be checkpointing the log into the file right now, which writes page 1
  // with the new page count before the pages that grow the file; sizes are only judged on a
  // file that no checkpoint can be writing (its log is empty or gone), and SQLite judges
  // the rest.
  if (logHoldsCommits(file)) return StoreFileKind::sqlite;
  if (size % pageSize != 0 || size < pageSize) {
    throw badFile("the file is truncated: " + std::to_string(size) + " bytes are not a whole number of " +
                  std::to_string(pageSize) + "-byte pages");
  }
  // The page count in the header is only trusted when the version-valid-for number
  // matches the change counter (older writers did not keep it up to date).
  const std::uint32_t pages = bigEndian(&bytes[28], 4);
  if (pages != 0 && bigEndian(&bytes[92], 4) == bigEndian(&bytes[24], 4) &&
      static_cast<std::uintmax_t>(pages) * pageSize > size) {
    throw badFile("the file is truncated: its header describes " + std::to_string(pages) + " pages of " +
                  std::to_string(pageSize) + " bytes, but it holds only " + std::to_string(size / pageSize));
  }
  return StoreFileKind::sqlite;
}

// --- StoreFileReader -----------------------------------------------------------------

std::unique_ptr<StoreFileReader> StoreFileReader::openReadOnly(const std::filesystem::path& file,
                                                               bool allowImmutable, int busyTimeoutMilliseconds) {
  // Without -wal and -shm files no connection has the store open and all its content is
  // in the main file; `immutable` then keeps SQLite from creating those files (a plain
  // read-only connection would, and leave them behind). Otherwise read through them.
  const bool immutable = allowImmutable && !inUse(file);
  const std::string uri = fileURI(file, immutable ? "mode=ro&immutable=1" : "mode=ro");
  sqlite3* db = nullptr;
  Connection::configureLibrary();
  const int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
  std::unique_ptr<StoreFileReader> reader(new StoreFileReader(db, true));
  if (rc != SQLITE_OK) {
    throw StoreError(StoreError::kPersistentStoreOpen,
                     std::string("SQLite cannot open it read-only: ") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)),
                     {{"NSSQLiteErrorDomain", rc}});
  }
  // Another process writing or checkpointing holds the lock only briefly: wait for it, as
  // the store's own connections do, rather than fail the open.
  sqlite3_busy_timeout(db, busyTimeoutMilliseconds);
  return reader;
}

StoreFileReader::~StoreFileReader() {
  if (owns_) sqlite3_close_v2(db_);
}

std::vector<std::vector<std::string>> StoreFileReader::rows(const std::string& sql,
                                                            const std::vector<std::string>& parameters) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK) fail(db_, sql);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    sqlite3_bind_text(raw, static_cast<int>(i + 1), parameters[i].c_str(), static_cast<int>(parameters[i].size()),
                      SQLITE_TRANSIENT);
  }
  std::vector<std::vector<std::string>> result;
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    auto& row = result.emplace_back();
    for (int c = 0; c < sqlite3_column_count(raw); ++c) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
      row.emplace_back(text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(raw, c))) : "");
    }
  }
  if (rc != SQLITE_DONE) fail(db_, sql);
  return result;
}

std::int64_t StoreFileReader::integer(const std::string& sql, const std::vector<std::string>& parameters) {
  const auto result = rows(sql, parameters);
  if (result.empty() || result.front().empty() || result.front().front().empty()) return 0;
  return std::stoll(result.front().front());
}

std::vector<std::string> StoreFileReader::tables() {
  std::vector<std::string> names;
  for (auto& row : rows("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
                        "ESCAPE '\\' ORDER BY name")) {
    names.push_back(std::move(row[0]));
  }
  return names;
}

std::map<std::string, std::string> StoreFileReader::metadata() {
  std::map<std::string, std::string> values;
  // Asked of the schema SQLite has already read, without compiling a query on sqlite_master.
  const int rc = sqlite3_table_column_metadata(db_, "main", "Z_METADATA", nullptr, nullptr, nullptr, nullptr,
                                               nullptr, nullptr);
  // Anything but "found" is confirmed by the query, so a schema SQLite cannot read is reported
  // as such rather than taken for a missing table.
  if (rc != SQLITE_OK &&
      integer("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'Z_METADATA'") == 0) {
    return values;
  }
  for (auto& row : rows("SELECT Z_KEY, Z_VALUE FROM Z_METADATA")) values[row[0]] = row[1];
  return values;
}

}  // namespace chronelle
