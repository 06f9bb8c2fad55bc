#include "chronelle/store/SaveDurability.h"

#include <sqlite3.h>

#include <string>

#include "chronelle/store/ContextImpl.h"
#include "chronelle/store/SaveSupport.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

void saveWithoutWaitingForDisk(ObjectContext& context) {
  auto& impl = context.impl();
  if (impl.parent) {
    context.save();
    return;
  }
  // In WAL mode NORMAL appends the commit to the log without syncing it; the next commit at
  // FULL (or syncSavedChanges) syncs the log, and with it every commit written before.
  // The pragmas are cached statements: this runs once per write.
  Connection& db = impl.db();
  const auto setSynchronous = [&db](const char* sql) { db.cached(sql)->step(); };
  setSynchronous("PRAGMA synchronous = NORMAL");
  try {
    context.save();
  } catch (...) {
    setSynchronous("PRAGMA synchronous = FULL");
    throw;
  }
  setSynchronous("PRAGMA synchronous = FULL");
}

void saveCompleteInItself(ObjectContext& context) {
  struct Flag {
    Flag() { savingCompleteInItself = true; }
    ~Flag() { savingCompleteInItself = false; }
  } flag;
  context.save();
}

void syncSavedChanges(ObjectContext& context) {
  auto& impl = context.impl();
  if (impl.parent) return;
  Connection& db = impl.db();
  // The log the connection appended its commits to; none before its first read or write.
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db.handle(), "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK ||
      !log || !log->pMethods) {
    return;
  }
  if (const int rc = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL); rc != SQLITE_OK) {
    throw StoreError(StoreError::kSQLite,
                     "syncing the store's log: " + std::string(sqlite3_errstr(rc)),
                     {{"NSSQLiteErrorDomain", rc}});
  }
}

}  // namespace chronelle
