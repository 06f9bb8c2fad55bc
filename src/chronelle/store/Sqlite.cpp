#include "chronelle/store/Sqlite.h"

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <stdexcept>

#include "chronelle/store/KeptLogVfs.h"
#include "chronelle/store/StatementObserver.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

namespace {

using Observer = std::function<void(const std::string&)>;

std::mutex observerMutex;
std::shared_ptr<const Observer> statementObserver;

std::shared_ptr<const Observer> currentObserver() {
  std::lock_guard lock(observerMutex);
  return statementObserver;
}

int traceStatement(unsigned, void*, void* statement, void*) {
  if (auto observer = currentObserver()) {
    if (const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement))) (*observer)(sql);
  }
  return 0;
}

[[noreturn]] void throwSqlite(sqlite3* db, int code, const std::string& what) {
  std::string message = what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
  throw StoreError(StoreError::kSQLite, message, {{"NSSQLiteErrorDomain", code}});
}

}  // namespace

void setStatementObserver(std::function<void(const std::string& sql)> observer) {
  std::lock_guard lock(observerMutex);
  statementObserver = observer ? std::make_shared<const Observer>(std::move(observer)) : nullptr;
}

// --- Statement -----------------------------------------------------------------------

Statement::Statement(Connection& connection, std::string sql) : connection_(connection), sql_(std::move(sql)) {
  const int rc = sqlite3_prepare_v3(connection_.handle(), sql_.data(), static_cast<int>(sql_.size()),
                                    SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    throwSqlite(connection_.handle(), rc, "cannot prepare `" + sql_ + "`");
  }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

void Statement::fail(int code) const { throwSqlite(connection_.handle(), code, "`" + sql_ + "`"); }

void Statement::bindNull(int index) {
  if (int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK) fail(rc);
}
void Statement::bindInt64(int index, std::int64_t value) {
  if (int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK) fail(rc);
}
void Statement::bindDouble(int index, double value) {
  if (int rc = sqlite3_bind_double(stmt_, index, value); rc != SQLITE_OK) fail(rc);
}
void Statement::bindText(int index, std::string_view text) {
  if (int rc = sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      rc != SQLITE_OK) {
    fail(rc);
  }
}
void Statement::bindBlob(int index, const Blob& blob) {
  // An empty blob must stay a blob (not NULL), so it gets a non-null pointer.
  static const std::uint8_t kEmpty = 0;
  const void* data = blob.empty() ? &kEmpty : blob.data();
  if (int rc = sqlite3_bind_blob64(stmt_, index, data, blob.size(), SQLITE_TRANSIENT); rc != SQLITE_OK) fail(rc);
}

void Statement::bindAll(const std::vector<Value>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) bind(static_cast<int>(i + 1), values[i]);
}

void Statement::bind(int index, const Value& value) {
  const auto& v = value.storage();
  switch (v.index()) {
    case 0: bindNull(index); return;
    case 1: bindInt64(index, std::get<bool>(v) ? 1 : 0); return;
    case 2: bindInt64(index, std::get<std::int64_t>(v)); return;
    case 3: bindDouble(index, std::get<double>(v)); return;
    case 4: bindText(index, std::get<std::string>(v)); return;
    case 5: bindInt64(index, std::get<Date>(v).microsecondsSince1970()); return;
    case 6: bindBlob(index, std::get<Blob>(v)); return;
    case 7: {
      const auto& id = std::get<ObjectID>(v);
      bindInt64(index, id.isTemporaryID() || !id.isValid() ? -1 : id.primaryKey());
      return;
    }
    default:
      throw StoreError(StoreError::kInvalidPredicate, "a list cannot be bound to one parameter of `" + sql_ + "`");
  }
}

bool Statement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  fail(rc);
}

void Statement::run() {
  while (step()) {
  }
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool Statement::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
std::int64_t Statement::columnInt64(int column) const { return sqlite3_column_int64(stmt_, column); }
double Statement::columnDouble(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::columnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  const int size = sqlite3_column_bytes(stmt_, column);
  return text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
}

Blob Statement::columnBlob(int column) const {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  const int size = sqlite3_column_bytes(stmt_, column);
  return data ? Blob(data, data + size) : Blob();
}

Value Statement::columnValue(int column) const {
  switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER: return Value(columnInt64(column));
    case SQLITE_FLOAT: return Value(columnDouble(column));
    case SQLITE_TEXT: return Value(columnText(column));
    case SQLITE_BLOB: return Value(columnBlob(column));
    default: return Value();
  }
}

int Statement::columnCount() const { return sqlite3_column_count(stmt_); }

// --- CachedStatement -----------------------------------------------------------------

CachedStatement::~CachedStatement() {
  if (!statement_) return;
  statement_->reset();
  auto& slot = connection_->cache_[statement_->sql()];
  slot.push_back(std::move(statement_));
}

// --- Connection ----------------------------------------------------------------------

void Connection::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

void Connection::configureLibrary() {
  static const bool configured = [] {
    // No allocation statistics: nothing here reads them, and keeping them takes a global
    // mutex at every allocation and release (about 3,500 of each to open the store and
    // parse its schema, 0.3 M instructions per command).
    // No block of 20 cache pages allocated ahead per connection: SQLite writes a header into
    // every page of the block at once, so a short command touched (and faulted in) pages it
    // never used; each page is allocated when first needed instead.
    return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK &&
           sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0) == SQLITE_OK;
  }();
  (void)configured;
}

Connection::Connection(const std::filesystem::path& file, bool create, int busyTimeoutMilliseconds) {
  configureLibrary();
  sqlite3* raw = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, flags, KeptLogVfs::name());
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    std::string message = "cannot open " + file.string() + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    throw StoreError(StoreError::kPersistentStoreOpen, message, {{"NSSQLiteErrorDomain", rc}});
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, busyTimeoutMilliseconds);
  if (currentObserver()) sqlite3_trace_v2(raw, SQLITE_TRACE_STMT, traceStatement, nullptr);
}

Connection::~Connection() {
  if (logCheckpoint_) sqlite3_wal_hook(db_.get(), nullptr, nullptr);
  cache_.clear();  // statements must be finalised before the connection closes
}

void Connection::exec(const std::string& sql) {
  char* error = nullptr;
  const int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = "`" + sql + "`: " + (error ? error : sqlite3_errstr(rc));
    sqlite3_free(error);
    throw StoreError(StoreError::kSQLite, message, {{"NSSQLiteErrorDomain", rc}});
  }
}

CachedStatement Connection::cached(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end() && !it->second.empty()) {
    auto statement = std::move(it->second.back());
    it->second.pop_back();
    return CachedStatement(*this, std::move(statement));
  }
  // Predicates with lists (`IN %@`) produce a new text per list length; a long-lived
  // connection must not collect them forever.
  // Borrowed statements are not in the cache, so clearing it never pulls one away from
  // a caller.
  if (cache_.size() >= kMaxCachedTexts) cache_.clear();
  ++prepared_;
  return CachedStatement(*this, std::make_unique<Statement>(*this, sql));
}

int Connection::changes() const { return sqlite3_changes(db_.get()); }
bool Connection::inTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }
void Connection::setBusyTimeout(int milliseconds) { sqlite3_busy_timeout(db_.get(), milliseconds); }

void Connection::leaveLogOnClose() {
  if (const int rc = sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr); rc != SQLITE_OK) {
    throwSqlite(db_.get(), rc, "cannot keep the log on close");
  }
}

void Connection::checkpointLogOver(int pages, std::atomic<bool>* logCopied) {
  logCheckpoint_ = std::make_unique<LogCheckpoint>(LogCheckpoint{pages, logCopied});
  sqlite3_wal_hook(
      db_.get(),
      [](void* argument, sqlite3* db, const char* name, int pagesInLog) {
        const auto& policy = *static_cast<const LogCheckpoint*>(argument);
        if (pagesInLog < policy.pages) {
          policy.copied->store(false);
          return SQLITE_OK;
        }
        int logged = 0;
        int copied = 0;
        const int rc = sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, &logged, &copied);
        policy.copied->store(rc == SQLITE_OK && logged == copied);
        return SQLITE_OK;  // the commit stands; a later checkpoint copies what this one could not
      },
      logCheckpoint_.get());
}

bool Connection::checkpointAndEmptyLog() {
  const int rc = sqlite3_wal_checkpoint_v2(db_.get(), "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  if (rc == SQLITE_OK) return true;
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) return false;
  throwSqlite(db_.get(), rc, "checkpoint");
}

std::string Connection::errorMessage() const { return sqlite3_errmsg(db_.get()); }

// --- Transaction ---------------------------------------------------------------------

Transaction::Transaction(Connection& connection, Kind kind) : connection_(connection) {
  connection_.exec(kind == Kind::immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (!open_) return;
  // Rolling back can only fail when SQLite already rolled back (after an I/O error);
  // nothing is left to undo then.
  sqlite3_exec(connection_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
  connection_.exec("COMMIT");
  open_ = false;
}

// --- ReadSnapshot --------------------------------------------------------------------

void ReadSnapshot::hold() {
  if (began_ || connection_.inTransaction()) return;
  connection_.cached("BEGIN")->run();
  began_ = true;
}

void ReadSnapshot::release() {
  if (!began_) return;
  connection_.cached("COMMIT")->run();
  began_ = false;
}

ReadSnapshot::~ReadSnapshot() {
  if (began_) sqlite3_exec(connection_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace chronelle
