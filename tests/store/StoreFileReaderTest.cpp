// A user that only reads a store leaves its lock file alone: no synced write on opening, and
// nothing for the next user to repair when it is killed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MigrationTestSupport.h"
#include "StoreTestModel.h"
#include "chronelle/store/ObjectContext.h"
#include "chronelle/store/StoreFileLock.h"

namespace chronelle::testing {
namespace {

std::shared_ptr<PersistentStoreCoordinator> open(const std::filesystem::path& file, bool write = false) {
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeTestModel());
  coordinator->addPersistentStore(file);
  auto context = ObjectContext::create(ConcurrencyType::privateQueue, coordinator);
  if (write) context->insertNewObject("Keeper");
  context->save();
  context->count(FetchRequest("Keeper"));
  return coordinator;
}

// Uses the store in a child process that is then killed.
void killedWhileUsing(const std::filesystem::path& file, bool write) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    auto held = open(file, write);
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
  const auto marker = [&] {
    std::ifstream in(StoreFileLock::lockFile(file));
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  open(file, true).reset();
  ASSERT_EQ(marker(), "closed");
  {
    auto reader = open(file);
    EXPECT_EQ(marker(), "closed") << "opening to read wrote the lock file";
  }

  killedWhileUsing(file, false);
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "a reader was killed";
  killedWhileUsing(file, true);
  EXPECT_TRUE(open(file)->openedAfterUncleanShutdown()) << "a writer was killed";
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "a clean close ends the report";
  EXPECT_EQ(marker(), "closed");
}

}  // namespace
}  // namespace chronelle::testing
