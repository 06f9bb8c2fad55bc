// A user that only reads a store leaves its lock file alone: no synced write on opening, and
// nothing for the next user to repair when it is killed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MigrationTestSupport.h"
#include "StoreTestModel.h"
#include "chronelle/store/FetchRequest.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/StoreFileLock.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {
namespace {

std::shared_ptr<PersistentStoreCoordinator> open(const std::filesystem::path& file) {
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeTestModel());
  coordinator->addPersistentStore(file);
  return coordinator;
}

void write(const std::shared_ptr<PersistentStoreCoordinator>& coordinator) {
  auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
  context->insertNewObject("Keeper");
  context->save();
}

// The lock file's modification time in nanoseconds and its bytes.
std::pair<long long, std::string> lockFileState(const std::filesystem::path& file) {
  struct stat info {};
  const auto lockFile = StoreFileLock::lockFile(file);
  if (stat(lockFile.c_str(), &info) != 0) return {-1, ""};
  std::ifstream in(lockFile, std::ios::binary);
  return {info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
          std::string(std::istreambuf_iterator<char>(in), {})};
}

// Runs `use` on the store in a child process that is then killed.
void killedWhileUsing(const std::filesystem::path& file, bool writes) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    auto held = open(file);
    if (writes) write(held);
    ObjectContext::create(ConcurrencyType::privateQueue, held)->count(FetchRequest("Keeper"));
    if (::write(ready[1], "1", 1) != 1) _exit(1);
    for (;;) pause();
  }
  char status = '0';
  ASSERT_EQ(read(ready[0], &status, 1), 1);
  close(ready[0]);
  close(ready[1]);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST(StoreFileReaderTest, OnlyAUserThatWroteLeavesTheStoreToRepair) {
  TempDirectory directory;
  const auto file = directory.file("store.sqlite");
  write(open(file));
  const auto closed = lockFileState(file);
  ASSERT_EQ(closed.second, "closed");

  {
    auto reader = open(file);
    EXPECT_EQ(ObjectContext::create(ConcurrencyType::privateQueue, reader)->count(FetchRequest("Keeper")), 1u);
    EXPECT_EQ(lockFileState(file), closed) << "opening to read wrote the lock file";
  }
  EXPECT_EQ(lockFileState(file), closed) << "closing after reading wrote the lock file";

  killedWhileUsing(file, false);
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "a reader was killed";
  killedWhileUsing(file, true);
  {
    // Reading after a crash keeps the report for the opener only, and a clean close ends it.
    auto afterCrash = open(file);
    EXPECT_TRUE(afterCrash->openedAfterUncleanShutdown()) << "a writer was killed";
  }
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown());
  EXPECT_EQ(lockFileState(file).second, "closed");
}

}  // namespace
}  // namespace chronelle::testing
