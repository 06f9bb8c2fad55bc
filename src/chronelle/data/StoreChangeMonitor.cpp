#include "chronelle/data/StoreChangeMonitor.h"

#include "chronelle/data/CoreDataStack.h"
#include "chronelle/store/PersistentStoreCoordinator.h"
#include "chronelle/store/Sqlite.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {
namespace {

// `PRAGMA data_version` changes for a connection exactly when another connection has
// committed to the file since the connection last asked; it reads no table, so it costs
// nothing while nothing changes.
std::int64_t dataVersion(Connection& connection) {
  auto statement = connection.cached("PRAGMA data_version");
  statement->step();
  const std::int64_t version = statement->columnInt64(0);
  statement->reset();
  return version;
}

}  // namespace

StoreChangeMonitor::StoreChangeMonitor(const CoreDataStack& stack)
    : connection_(std::make_unique<Connection>(stack.persistentStoreCoordinator()->storeFile(), false, 5000)),
      lastVersion_(dataVersion(*connection_)) {}

StoreChangeMonitor::~StoreChangeMonitor() = default;

bool StoreChangeMonitor::hasChanged() {
  try {
    const std::int64_t version = dataVersion(*connection_);
    const bool changed = version != lastVersion_;
    lastVersion_ = version;
    return changed;
  } catch (const StoreError&) {
    return true;
  }
}

}  // namespace chronelle
