// What a write of entries costs in disk syncs: the save and the recount it calls for are
// made durable together, by one sync of the store's log; a write with nothing to recount
// leaves the lock file's in-use marker (and its sync) alone.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>
#include <string>

#include "teststack/ProviderFixture.h"
#include "chronelle/data/TimeEntryChangeKey.h"

namespace chronelle::testing {
namespace {

// A VFS in front of the default one that counts the syncs of write-ahead logs.
struct CountingFile {
  sqlite3_file base;
  sqlite3_file* real;  // the default VFS's file, allocated right after this struct
  bool isLog;
};
int logSyncs = 0;
sqlite3_vfs* defaultVfs = nullptr;
sqlite3_io_methods methods;

sqlite3_file* real(sqlite3_file* file) { return reinterpret_cast<CountingFile*>(file)->real; }

int countingOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  auto* counting = reinterpret_cast<CountingFile*>(file);
  counting->real = reinterpret_cast<sqlite3_file*>(counting + 1);
  counting->isLog = (flags & SQLITE_OPEN_WAL) != 0;
  const int rc = defaultVfs->xOpen(defaultVfs, name, counting->real, flags, outFlags);
  if (counting->real->pMethods == nullptr) return rc;
  // Every method but xClose and xSync goes straight to the real file.
  methods = *counting->real->pMethods;
  methods.xClose = [](sqlite3_file* f) { return real(f)->pMethods->xClose(real(f)); };
  methods.xSync = [](sqlite3_file* f, int flags) {
    if (reinterpret_cast<CountingFile*>(f)->isLog) ++logSyncs;
    return real(f)->pMethods->xSync(real(f), flags);
  };
  methods.xRead = [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), b, n, o); };
  methods.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) { return real(f)->pMethods->xWrite(real(f), b, n, o); };
  methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 n) { return real(f)->pMethods->xTruncate(real(f), n); };
  methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* n) { return real(f)->pMethods->xFileSize(real(f), n); };
  methods.xLock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); };
  methods.xUnlock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); };
  methods.xCheckReservedLock = [](sqlite3_file* f, int* r) { return real(f)->pMethods->xCheckReservedLock(real(f), r); };
  methods.xFileControl = [](sqlite3_file* f, int op, void* a) { return real(f)->pMethods->xFileControl(real(f), op, a); };
  methods.xSectorSize = [](sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); };
  methods.xDeviceCharacteristics = [](sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); };
  methods.xShmMap = [](sqlite3_file* f, int i, int n, int w, void volatile** p) { return real(f)->pMethods->xShmMap(real(f), i, n, w, p); };
  methods.xShmLock = [](sqlite3_file* f, int o, int n, int l) { return real(f)->pMethods->xShmLock(real(f), o, n, l); };
  methods.xShmBarrier = [](sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); };
  methods.xShmUnmap = [](sqlite3_file* f, int d) { return real(f)->pMethods->xShmUnmap(real(f), d); };
  methods.xFetch = [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) { return real(f)->pMethods->xFetch(real(f), o, n, p); };
  methods.xUnfetch = [](sqlite3_file* f, sqlite3_int64 o, void* p) { return real(f)->pMethods->xUnfetch(real(f), o, p); };
  file->pMethods = &methods;
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
      vfs.szOsFile = static_cast<int>(sizeof(CountingFile)) + defaultVfs->szOsFile;
      vfs.xOpen = countingOpen;
      return vfs;
    }();
    sqlite3_vfs_register(&counting, 1);
    openStack();
    startProvider();
    a = std::dynamic_pointer_cast<Task>(context().existingObject(a->objectID()));
    entry = std::dynamic_pointer_cast<Session>(context().existingObject(entry->objectID()));
  }

  std::string marker() {
    std::ifstream in(stack->persistentStoreCoordinator()->storeFile().string() + "-lock");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
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
  // The first write after opening also syncs the new log's header.
  const struct {
    const char* name;
    std::function<void()> run;
    int syncs;
    const char* marker;
  } cases[] = {
      {"notes, first write", [&] { notes("n"); }, 2, "closed"},
      {"notes only", [&] { notes("m"); }, 1, "closed"},
      {"create", [&] { added = write(provider->createTimeEntry(utc(9), utc(10), a->objectID(), false, {})); }, 1,
       "open"},
      {"re-time", [&] { write(provider->updateTimeEntry(added->objectID(), {{Key::end, utc(11)}})); }, 1, "open"},
      {"delete", [&] { write(provider->deleteTimeEntries({added})); }, 1, "open"},
  };
  for (const auto& c : cases) {
    logSyncs = 0;
    c.run();
    EXPECT_EQ(logSyncs, c.syncs) << "case " << c.name;
    EXPECT_EQ(marker(), c.marker) << "case " << c.name;
  }
  EXPECT_EQ(a->confirmedDuration(), entry->confirmedDuration());
}

}  // namespace
}  // namespace chronelle::testing
