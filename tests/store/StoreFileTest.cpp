// Files that are not a store this model can use are refused without being touched, and
// telling whether the previous user of a store ended without closing it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/xattr.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "MigrationTestSupport.h"
#include "StoreTestModel.h"
#include "chronelle/store/KeptLogVfs.h"
#include "chronelle/store/StoreError.h"
#include "chronelle/store/StoreFile.h"
#include "chronelle/store/StoreFileLock.h"
#include "testsupport/FileContent.h"
#include "testsupport/SqliteFile.h"

namespace chronelle::testing {
namespace {

std::shared_ptr<PersistentStoreCoordinator> open(const std::filesystem::path& file,
                                                 const StoreOptions& options = {}) {
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeTestModel());
  coordinator->addPersistentStore(file, options);
  return coordinator;
}

// A closed store of the test model (version 1, or 2 with `newer`) of several pages.
std::string storeBytes(bool newer) {
  TempDirectory directory;
  const auto file = directory.file("source.sqlite");
  {
    auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeTestModel(newer));
    coordinator->addPersistentStore(file);
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
    for (int i = 0; i < 200; ++i) {
      insert(*context, "Visit",
             {{"start", Date::fromSecondsSince1970(1'700'000'000.0 + i)}, {"payload", Blob(100, static_cast<std::uint8_t>(i))}});
    }
    context->save();
    // The newest commits stay in the log between processes; the cuts below are of a file
    // that holds the whole store.
    EXPECT_TRUE(coordinator->checkpointStoreFile());
  }
  return readFile(file);
}

TEST(StoreFileTest, FilesThatAreNotAUsableStoreFailSetUpAndStayAsTheyWere) {
  const std::string store = storeBytes(false);
  const std::size_t pageSize = 4096;
  ASSERT_GT(store.size(), 4 * pageSize) << "the cuts below need a store of several pages";
  auto other = std::make_shared<ObjectModel>("Other", 1);
  other->addEntity(EntityDescription("Thing").add(AttributeDescription{"name", AttributeType::string, true, {}, ""}));
  other->finalize();

  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    int code;
    std::string reason;
    std::shared_ptr<const ObjectModel> model = makeTestModel();
  };
  const std::vector<Case> cases = {
      {"cut inside a page", [&](auto& f) { writeFile(f, store.substr(0, store.size() - 1000)); },
       StoreError::kPersistentStoreOpen, "the file is truncated: "},
      {"cut at a page boundary", [&](auto& f) { writeFile(f, store.substr(0, 2 * pageSize)); },
       StoreError::kPersistentStoreOpen, "the file is truncated: its header describes"},
      // An emptied log keeps its size; holding no frames, it cannot be filling the file up.
      {"cut at a page boundary beside an emptied log",
       [&](auto& f) {
         writeFile(f, store.substr(0, 2 * pageSize));
         writeFile(f.string() + "-wal", std::string(32, '\0') + std::string(4120, 'x'));
       },
       StoreError::kPersistentStoreOpen, "the file is truncated: its header describes"},
      {"cut inside the header", [&](auto& f) { writeFile(f, store.substr(0, 60)); }, StoreError::kPersistentStoreOpen,
       "less than the SQLite header"},
      {"zero-filled", [&](auto& f) { writeFile(f, std::string(store.size(), '\0')); },
       StoreError::kPersistentStoreOpen, "only zero bytes"},
      {"text", [&](auto& f) { writeFile(f, "name,begin,end\nwork,9:00,17:00\n"); }, StoreError::kPersistentStoreOpen,
       "not an SQLite database"},
      {"directory", [](auto& f) { std::filesystem::create_directory(f); }, StoreError::kPersistentStoreOpen,
       "it is a directory"},
      {"SQLite database of something else",
       [](auto& f) { execSql(f, "CREATE TABLE notes (text); INSERT INTO notes VALUES ('hi')"); },
       StoreError::kPersistentStoreOpen, "an SQLite database but not a store"},
      {"store of a newer version", [&](auto& f) { writeFile(f, storeBytes(true)); },
       StoreError::kPersistentStoreIncompatibleVersion, "written by version 2 of model StoreTest, newer than version 1"},
      {"store of another model", [&](auto& f) { writeFile(f, store); }, StoreError::kPersistentStoreIncompatibleVersion,
       "written for model StoreTest, not Other", other},
      // The header still carries this model's mark (another program changed the store behind
      // it): the schema check inside the write transaction refuses it all the same.
      {"newer store behind this model's mark",
       [&](auto& f) {
         writeFile(f, store);
         execSql(f, "UPDATE Z_METADATA SET Z_VALUE = '2' WHERE Z_KEY = 'NSStoreModelVersion';"
                    "UPDATE Z_METADATA SET Z_VALUE = 'other' WHERE Z_KEY = 'NSStoreSchemaHash'");
       },
       StoreError::kPersistentStoreIncompatibleVersion, "written by version 2 of model StoreTest, newer than version 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory directory;
    const auto file = directory.file("store.sqlite");
    c.make(file);
    expectRefused(c.model, file, c.code, c.reason);
  }
}

// SQLite's locks are POSIX record locks, which a process loses on every descriptor of the file
// when it closes any one of them. Looking at the file must not cost a connection of this
// process its lock: another process would then take itself for the last user and delete the
// write-ahead log under the open connection, whose later commits would go nowhere.
TEST(StoreFileTest, LookingAtAStoreInUseKeepsThisProcesssLocksOnIt) {
  TempDirectory directory;
  const auto file = directory.file("store.sqlite");
  auto context = ObjectContext::create(ConcurrencyType::privateQueue, open(file));
  insert(*context, "Keeper", {{"title", "kept"}});
  context->save();

  // What another process sees of this one's locks on SQLite's lock bytes (from 2^30): a
  // connection in WAL mode holds a shared lock there for as long as it is open. The child
  // asks the kernel only; it must not use SQLite, whose lock bookkeeping it would inherit.
  const auto lockSeenByAnotherProcess = [&] {
    const pid_t child = fork();
    if (child == 0) {
      const int fd = ::open(file.c_str(), O_RDWR);
      struct flock probe {.l_type = F_WRLCK, .l_whence = SEEK_SET, .l_start = 0x40000000, .l_len = 512, .l_pid = 0};
      _exit(fd >= 0 && fcntl(fd, F_GETLK, &probe) == 0 ? (probe.l_type == F_UNLCK ? 1 : 0) : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
  };
  ASSERT_EQ(lockSeenByAnotherProcess(), 0) << "the open store holds a shared lock";

  // A second coordinator in this process looks at the file before opening it.
  auto second = open(file);
  EXPECT_EQ(lockSeenByAnotherProcess(), 0) << "looking at the file dropped this process's lock";
}

// A child process that opens the store and writes to it (or, without `writes`, only reads
// it; and, with `openAndCloseAnother`, also opens and closes a second coordinator on it), then
// waits to be killed, or with `exitAfterWrite` closes the store and exits.
class StoreHolder {
 public:
  explicit StoreHolder(const std::filesystem::path& file, bool writes = true, bool openAndCloseAnother = false,
                       bool exitAfterWrite = false) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      std::shared_ptr<PersistentStoreCoordinator> held;
      char status = '1';
      try {
        held = open(file);
        auto user = ObjectContext::create(ConcurrencyType::privateQueue, held);
        if (writes) user->insertNewObject("Keeper");
        user->save();
        user->count(FetchRequest("Keeper"));
        if (openAndCloseAnother) open(file).reset();
        if (exitAfterWrite) held.reset();
      } catch (...) {
        status = '0';
      }
      if (write(fds[1], &status, 1) != 1) _exit(1);
      if (exitAfterWrite) _exit(0);
      for (;;) pause();
    }
    close(fds[1]);
    char status = '0';
    if (read(fds[0], &status, 1) != 1) status = '0';
    close(fds[0]);
    EXPECT_EQ(status, '1') << "the child could not open the store";
  }
  ~StoreHolder() { kill(); }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// A process that closes the store leaves its commits in the log (synced, but not copied into
// the file), as does one that is killed: the next open, to write or only to read, finds them
// there, and a checkpoint puts them into the file.
TEST(StoreFileTest, CommitsLeftInTheLogByAnEndedWriterAreFoundByTheNextOpen) {
  const auto keepersInFileAlone = [](const std::filesystem::path& file) {
    TempDirectory copy;
    std::filesystem::copy_file(file, copy.file("alone.sqlite"));
    return StoreFileReader::openReadOnly(copy.file("alone.sqlite"))->integer("SELECT count(*) FROM ZKEEPER");
  };
  const auto logBytes = [](const std::filesystem::path& file) {
    std::error_code missing;
    const auto size = std::filesystem::file_size(file.string() + "-wal", missing);
    return missing ? 0 : size;
  };
  for (const bool killed : {false, true}) {
    SCOPED_TRACE(killed ? "writer killed" : "writer closed the store and exited");
    TempDirectory directory;
    const auto file = directory.file("store.sqlite");
    open(file).reset();
    StoreHolder(file, true, false, !killed).kill();
    ASSERT_GT(logBytes(file), 0u) << "the log was not kept";
    ASSERT_EQ(keepersInFileAlone(file), 0) << "the commit is meant to be in the log only";

    EXPECT_EQ(StoreFileReader::openReadOnly(file)->integer("SELECT count(*) FROM ZKEEPER"), 1);
    auto reopened = open(file);
    EXPECT_EQ(reopened->openedAfterUncleanShutdown(), killed);
    EXPECT_EQ(ObjectContext::create(ConcurrencyType::privateQueue, reopened)->count(FetchRequest("Keeper")), 1u);
    EXPECT_TRUE(reopened->checkpointStoreFile());
    EXPECT_FALSE(KeptLogVfs::logHoldsFrames(file.string() + "-wal"));
    EXPECT_EQ(keepersInFileAlone(file), 1);
  }
}

// The log kept between processes costs a writing process only its commit's sync: a log that a
// checkpoint left wholly in the file is emptied on close (the next process cannot tell it was
// copied and would copy it again), one holding commits that are not in the file is kept; an
// emptied log keeps its size, so the next commit overwrites it instead of growing the file; and
// the log's directory entry, once synced, is not synced again, unless the log is a copy.
TEST(StoreFileTest, TheKeptLogCostsAWriterOnlyItsCommitsSync) {
  const auto save = [](const std::shared_ptr<PersistentStoreCoordinator>& coordinator, int rows) {
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
    for (int i = 0; i < rows; ++i) {
      insert(*context, "Visit", {{"start", Date::fromSecondsSince1970(1e9 + i)}, {"payload", Blob(3000, 7)}});
    }
    context->save();
  };
  const struct {
    const char* name;
    std::vector<int> saves;  // rows per save, each a commit; 150 rows fill over 128 pages
    bool logEmptied;
  } cases[] = {
      {"small commit", {1}, false},
      {"commit over the checkpoint threshold", {150}, true},
      {"small commit after a checkpoint", {150, 1}, false},
  };
  for (const auto& c : cases) {
    TempDirectory directory;
    const auto file = directory.file("store.sqlite");
    const std::filesystem::path log = file.string() + "-wal";
    auto coordinator = open(file);
    int total = 0;
    for (const int rows : c.saves) {
      save(coordinator, rows);
      total += rows;
    }
    const auto logSize = std::filesystem::file_size(log);
    ASSERT_GT(logSize, 0u) << "case " << c.name;
    coordinator.reset();
    EXPECT_EQ(KeptLogVfs::logHoldsFrames(log), !c.logEmptied) << "case " << c.name;
    EXPECT_EQ(std::filesystem::file_size(log), logSize) << "case " << c.name;
    EXPECT_EQ(StoreFileReader::openReadOnly(file)->integer("SELECT count(*) FROM ZVISIT"), total) << "case " << c.name;
    save(open(file), 1);
    // The next process's commit overwrites an emptied log from its start.
    if (c.logEmptied) {
      EXPECT_EQ(std::filesystem::file_size(log), logSize) << "case " << c.name << ", next commit";
    }
    EXPECT_EQ(StoreFileReader::openReadOnly(file)->integer("SELECT count(*) FROM ZVISIT"), total + 1)
        << "case " << c.name << ", next commit";
  }

  // Once a writer synced the log's entry, later ones find it marked; a copy of the log, even
  // with the mark copied too, is a new entry in another directory.
  TempDirectory directory;
  const auto file = directory.file("store.sqlite");
  const std::filesystem::path log = file.string() + "-wal";
  for (int i = 0; i < 2; ++i) save(open(file), 1);
  const char* kMark = "user.chronelle.log-entry-synced";
  // A file system that keeps no extended attributes gets SQLite's own directory sync per
  // writer: no log there may ever pass for marked.
  const char probe = 1;
  if (setxattr(file.c_str(), "user.chronelle.test-probe", &probe, 1, 0) != 0) {
    EXPECT_FALSE(KeptLogVfs::directoryEntrySynced(log));
    return;
  }
  EXPECT_TRUE(KeptLogVfs::directoryEntrySynced(log));
  TempDirectory other;
  const auto copy = other.file("store.sqlite");
  const std::filesystem::path copiedLog = copy.string() + "-wal";
  std::filesystem::copy_file(file, copy);
  std::filesystem::copy_file(log, copiedLog);
  char mark[96];
  const auto size = getxattr(log.c_str(), kMark, mark, sizeof mark);
  ASSERT_GT(size, 0);
  ASSERT_EQ(setxattr(copiedLog.c_str(), kMark, mark, static_cast<std::size_t>(size), 0), 0);
  EXPECT_FALSE(KeptLogVfs::directoryEntrySynced(copiedLog));
  save(open(copy), 1);
  EXPECT_TRUE(KeptLogVfs::directoryEntrySynced(copiedLog));
  EXPECT_EQ(StoreFileReader::openReadOnly(copy)->integer("SELECT count(*) FROM ZVISIT"), 3);
}

// A store opened with a mapping reads its file through it, and only then: rows another
// coordinator wrote and copied into the file afterwards, growing it under the mapping, are read
// like any others.
TEST(StoreFileTest, ConnectionsMapTheStoreFileWhenTheOptionsAsk) {
  const auto mapsFile = [](const std::filesystem::path& file) {
    std::ifstream maps("/proc/self/maps");
    const auto name = std::filesystem::canonical(file).string();
    for (std::string line; std::getline(maps, line);) {
      if (line.size() >= name.size() && line.compare(line.size() - name.size(), name.size(), name) == 0) return true;
    }
    return false;
  };
  const auto save = [](const std::shared_ptr<PersistentStoreCoordinator>& coordinator, int rows) {
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
    for (int i = 0; i < rows; ++i) {
      insert(*context, "Visit", {{"start", Date::fromSecondsSince1970(1e9 + i)}, {"payload", Blob(1000, 3)}});
    }
    context->save();
    ASSERT_TRUE(coordinator->checkpointStoreFile());
  };
  for (const bool mapped : {false, true}) {
    SCOPED_TRACE(mapped ? "mapped" : "not mapped");
    StoreOptions options;
    options.mappedFileBytes = mapped ? std::int64_t{1} << 30 : 0;
    TempDirectory directory;
    const auto file = directory.file("store.sqlite");
    auto reader = open(file, options);
    auto writer = open(file);
    const auto count = [&] {
      return ObjectContext::create(ConcurrencyType::privateQueue, reader)->count(FetchRequest("Visit"));
    };
    save(writer, 10);
    EXPECT_EQ(count(), 10u);
    EXPECT_EQ(mapsFile(file), mapped);
    save(writer, 300);
    EXPECT_EQ(count(), 310u);
    writer.reset();
    reader.reset();
    EXPECT_FALSE(mapsFile(file)) << "a closed store stays mapped";
  }
}

// Only a user that wrote leaves the store to repair: the next open reports its end without
// closing, once. A user that only reads (opening included) writes nothing to the lock file,
// so its kill leaves nothing to report.
TEST(StoreFileLockTest, AWriterKilledWithTheStoreOpenIsReportedByTheNextOpenOnly) {
  TempDirectory directory;
  const auto file = directory.file("store.sqlite");
  const auto marker = [&] { return readFile(StoreFileLock::lockFile(file)); };
  writeFile(file, "");  // an empty file becomes a new store
  {
    auto first = open(file);
    EXPECT_FALSE(first->openedAfterUncleanShutdown()) << "a new store";
    auto context = ObjectContext::create(ConcurrencyType::privateQueue, first);
    context->insertNewObject("Keeper");
    context->save();
  }
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "after a clean close";
  ASSERT_EQ(marker(), "closed");
  {
    auto reader = open(file);
    ObjectContext::create(ConcurrencyType::privateQueue, reader)->count(FetchRequest("Keeper"));
    EXPECT_EQ(marker(), "closed") << "opening to read wrote the lock file";
  }
  StoreHolder(file, false).kill();
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "a reader was killed";

  StoreHolder(file).kill();
  auto afterKill = open(file);
  EXPECT_TRUE(afterKill->openedAfterUncleanShutdown());
  EXPECT_EQ(ObjectContext::create(ConcurrencyType::privateQueue, afterKill)->count(FetchRequest("Keeper")), 2u);
  afterKill.reset();
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "the report is for one open";
  EXPECT_EQ(marker(), "closed");
}

TEST(StoreFileLockTest, UsersSharingAStoreDoNotMistakeEachOtherForACrash) {
  TempDirectory directory;
  const auto file = directory.file("store.sqlite");
  // In one process, whichever closes last marks the store closed.
  for (const bool firstClosesFirst : {true, false}) {
    auto first = open(file);
    auto second = open(file);
    EXPECT_FALSE(first->openedAfterUncleanShutdown());
    EXPECT_FALSE(second->openedAfterUncleanShutdown());
    (firstClosesFirst ? first : second).reset();
    (firstClosesFirst ? second : first).reset();
    EXPECT_FALSE(open(file)->openedAfterUncleanShutdown());
  }
  // A coordinator closing while another of its process still has the store open does not
  // mark it closed: the process is killed afterwards.
  StoreHolder(file, true, true).kill();
  EXPECT_TRUE(open(file)->openedAfterUncleanShutdown());
  // Nor does one in another process: it is not alone when it opens, nor when it closes.
  {
    StoreHolder holder(file);
    EXPECT_FALSE(open(file)->openedAfterUncleanShutdown());
    holder.kill();
  }
  EXPECT_TRUE(open(file)->openedAfterUncleanShutdown());
}

}  // namespace
}  // namespace chronelle::testing
