// `watch` on a pseudo-terminal while other processes write to the store: it follows their
// starts, entries and pauses, ticks the running entry, and ends cleanly on Ctrl-C. Every wait
// is for output, with a deadline.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <regex>
#include <set>
#include <utility>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(20);

// A child process whose controlling terminal is a pseudo-terminal we hold the other end of.
class PtyProcess {
 public:
  explicit PtyProcess(std::vector<std::string> args) {
    args.insert(args.begin(), CHRONELLE_BINARY);
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(CHRONELLE_BINARY, argv.data());
      _exit(127);
    }
  }
  ~PtyProcess() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    if (master_ >= 0) close(master_);
  }

  // Reads until `done(output so far)` holds; false at the deadline or when the output ended
  // without it.
  bool waitFor(const std::function<bool(const std::string&)>& done) {
    const auto deadline = Clock::now() + kDeadline;
    while (!done(output_)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0 || ended_) return false;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
      char buffer[4096];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got > 0) output_.append(buffer, static_cast<std::size_t>(got));
      ended_ = got <= 0;  // the child closed the terminal
    }
    return true;
  }
  bool waitForText(const std::string& text) {
    return waitFor([&](const std::string& out) { return out.find(text) != std::string::npos; });
  }
  // The interrupt character, as a user's Ctrl-C.
  void interrupt() { ASSERT_EQ(write(master_, "\x03", 1), 1); }
  // The exit status once the child has closed the terminal; -1 when it did not in time.
  int waitForExit() {
    if (!waitFor([this](const std::string&) { return ended_; })) return -1;
    int status = 0;
    waitpid(std::exchange(pid_, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  bool ended_ = false;
  std::string output_;
};

TEST(CliWatch, FollowsOtherProcessesTicksAndEndsOnInterrupt) {
  CliStore store("UTC");
  // The view runs on the real clock, so the writers do too.
  const auto write = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store.directory().string(), "--tz", "UTC"});
    const CliResult result = CliStore::runRaw(args);
    ASSERT_EQ(result.status, 0) << result.err;
  };
  write({"task", "add", "Work"});

  PtyProcess watch({"--store", store.directory().string(), "--tz", "UTC", "watch"});
  ASSERT_TRUE(watch.waitForText("Ctrl-C to quit")) << watch.output();
  EXPECT_EQ(watch.output().find("running"), std::string::npos);

  write({"start", "Work"});
  ASSERT_TRUE(watch.waitForText("● running  Work")) << watch.output();
  // The running entry ticks: its duration is drawn again with a new value.
  const std::regex running("running  Work  (\\d+:\\d\\d:\\d\\d)");
  ASSERT_TRUE(watch.waitFor([&](const std::string& out) {
    std::set<std::string> seen;
    for (std::sregex_iterator it(out.begin(), out.end(), running), end; it != end; ++it) seen.insert((*it)[1]);
    return seen.size() >= 2;
  })) << watch.output();

  const std::time_t now = std::time(nullptr);
  char today[16];
  std::strftime(today, sizeof today, "%Y-%m-%d", std::gmtime(&now));
  write({"entry", "add", "Work", "--from", std::string(today) + " 00:00", "--to", std::string(today) + " 00:00:30"});
  ASSERT_TRUE(watch.waitForText("00:00–00:00  0:00:30  Work")) << watch.output();

  write({"pause"});
  ASSERT_TRUE(watch.waitForText("○ paused")) << watch.output();

  watch.interrupt();
  EXPECT_EQ(watch.waitForExit(), 0) << watch.output();
  EXPECT_TRUE(watch.output().ends_with("\x1b[?25h\r\n")) << "the cursor is shown again";
  // The view wrote nothing of its own: the timer state the writers left is intact.
  EXPECT_EQ(store.okJson({"status"})["state"], "paused");
}

}  // namespace
}  // namespace chronelle::testing
