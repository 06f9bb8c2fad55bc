// Telling whether the previous user of a store ended without closing it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "StoreTestModel.h"

namespace chronelle::testing {
namespace {

std::shared_ptr<PersistentStoreCoordinator> open(const std::filesystem::path& file) {
  auto coordinator = std::make_shared<PersistentStoreCoordinator>(makeTestModel());
  coordinator->addPersistentStore(file);
  return coordinator;
}

// A child process that opens the store (and, with `openAndCloseAnother`, also opens and
// closes a second coordinator on it), then waits to be killed.
class StoreHolder {
 public:
  StoreHolder(const std::filesystem::path& file, bool openAndCloseAnother) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      std::shared_ptr<PersistentStoreCoordinator> held;
      char status = '1';
      try {
        held = open(file);
        if (openAndCloseAnother) open(file).reset();
      } catch (...) {
        status = '0';
      }
      if (write(fds[1], &status, 1) != 1) _exit(1);
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

TEST(StoreFileLockTest, AUserKilledWithTheStoreOpenIsReportedByTheNextOpenOnly) {
  TempDirectory directory;
  const auto file = directory.file("store.sqlite");
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "a new store";
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "after a clean close";

  StoreHolder(file, false).kill();
  auto afterKill = open(file);
  EXPECT_TRUE(afterKill->openedAfterUncleanShutdown());
  EXPECT_EQ(ObjectContext::create(ConcurrencyType::privateQueue, afterKill)->count(FetchRequest("Visit")), 0u);
  afterKill.reset();
  EXPECT_FALSE(open(file)->openedAfterUncleanShutdown()) << "the report is for one open";
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
  StoreHolder(file, true).kill();
  EXPECT_TRUE(open(file)->openedAfterUncleanShutdown());
  // Nor does one in another process: it is not alone when it opens, nor when it closes.
  {
    StoreHolder holder(file, false);
    EXPECT_FALSE(open(file)->openedAfterUncleanShutdown());
    holder.kill();
  }
  EXPECT_TRUE(open(file)->openedAfterUncleanShutdown());
}

}  // namespace
}  // namespace chronelle::testing
