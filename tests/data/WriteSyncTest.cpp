// What a write of entries costs in disk syncs: the save and the recount it calls for are one
// transaction, made durable by one sync of the store's log, and as no crash can separate
// them, the lock file's in-use marker (and its sync) is left alone.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "chronelle/data/TimeEntryChangeKey.h"
#include "teststack/ProviderFixture.h"
#include "testsupport/FileContent.h"

namespace chronelle::testing {
namespace {

// The default VFS with the write-ahead logs' syncs counted: a log's file gets a copy of its
// methods whose xSync counts and goes on to the real one.
int logSyncs = 0;
sqlite3_vfs* defaultVfs = nullptr;
const sqlite3_io_methods* realMethods = nullptr;
sqlite3_io_methods countingMethods;

int countingOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                 int* outFlags) {
  const int rc = defaultVfs->xOpen(defaultVfs, name, file, flags, outFlags);
  if (rc != SQLITE_OK || !(flags & SQLITE_OPEN_WAL) || !file->pMethods) return rc;
  realMethods = file->pMethods;
  countingMethods = *realMethods;
  countingMethods.xSync = [](sqlite3_file* f, int syncFlags) {
    ++logSyncs;
    return realMethods->xSync(f, syncFlags);
  };
  file->pMethods = &countingMethods;
  return rc;
}

class WriteSyncTest : public ProviderFixture {
 protected:
  // The store is opened again through the counting VFS.
  WriteSyncTest() {
    a = makeTask("A");
    entry = makeSession(a, utc(8), utc(9));
    save();
    MainQueue::shared().runPending();
    provider.reset();  // it holds the stack, which would keep the store open
    closeStack();
    static sqlite3_vfs counting = [] {
      defaultVfs = sqlite3_vfs_find(nullptr);
      sqlite3_vfs vfs = *defaultVfs;
      vfs.zName = "chronelle-test-counting";
      vfs.xOpen = countingOpen;
      return vfs;
    }();
    sqlite3_vfs_register(&counting, 1);
    openStack();
    startProvider();
    a = std::dynamic_pointer_cast<Task>(context().existingObject(a->objectID()));
    entry = std::dynamic_pointer_cast<Session>(context().existingObject(entry->objectID()));
  }

  std::string marker() { return readFile(stack->persistentStoreCoordinator()->storeFile().string() + "-lock"); }
  ~WriteSyncTest() override {
    closeStack();
    sqlite3_vfs_register(defaultVfs, 1);
  }

  std::shared_ptr<Task> a;
  std::shared_ptr<Session> entry;
};

TEST_F(WriteSyncTest, AWriteOfEntriesAndItsRecountAreSyncedOnce) {
  using Key = TimeEntryChangeKey;
  std::shared_ptr<Session> added;
  const auto notes = [&](const char* text) {
    write(provider->updateTimeEntry(entry->objectID(), {{Key::notes, std::string(text)}}));
  };
  // The log stays beside the store between openings, so even the first write after opening
  // appends to it without writing and syncing a new log's header.
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"notes, first write", [&] { notes("n"); }},
      {"notes only", [&] { notes("m"); }},
      {"create", [&] { added = write(provider->createTimeEntry(utc(9), utc(10), a->objectID(), false, {})); }},
      {"re-time", [&] { write(provider->updateTimeEntry(added->objectID(), {{Key::end, utc(11)}})); }},
      {"delete", [&] { write(provider->deleteTimeEntries({added})); }},
  };
  for (const auto& [name, run] : cases) {
    logSyncs = 0;
    run();
    EXPECT_EQ(std::pair(logSyncs, marker()), std::pair(1, std::string("closed"))) << "case " << name;
  }
  EXPECT_EQ(a->confirmedDuration(), entry->confirmedDuration());
}

}  // namespace
}  // namespace chronelle::testing
