// Two `chronelle` processes adding entries to one store at the same time: every add either
// succeeds or fails with one clear line, every success is stored, and the totals are right.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "ChildProcess.h"
#include "StoreSnapshot.h"
#include "testsupport/TempDirectory.h"

#ifdef CHRONELLE_BINARY

namespace chronelle::testing {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

CliRun runCli(const TempDirectory& directory, const std::vector<std::string>& args, const std::string& name) {
  std::vector<std::string> argv = {CHRONELLE_BINARY, "--store", directory.path().string(), "--tz", "UTC",
                                   "--now", "2026-12-05T12:00"};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto errFile = directory.file(name + ".stderr");
  std::filesystem::remove(errFile);
  ChildProcess child(argv, errFile);
  CliRun run;
  const int status = child.reap();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  for (const auto& line : child.lines()) run.out += line + "\n";
  std::ifstream in(errFile);
  run.err.assign(std::istreambuf_iterator<char>(in), {});
  return run;
}

// "2026-12-01T08:00:00Z".
std::string utc(long long secondsSince1970) {
  const std::time_t time = static_cast<std::time_t>(secondsSince1970);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

TEST(ConcurrentCli, TwoProcessesAddingAtOnceKeepEverySuccessAndTheTotals) {
  constexpr int kAddsEach = 50;
  TempDirectory directory;
  ASSERT_EQ(runCli(directory, {"folder", "add", "F"}, "setup").status, 0);
  ASSERT_EQ(runCli(directory, {"task", "add", "F/A"}, "setup").status, 0);
  ASSERT_EQ(runCli(directory, {"task", "add", "B"}, "setup").status, 0);

  struct Outcome {
    std::map<std::string, EntryRow> added;  // by identifier, as the process reported them
    int failed = 0;
    std::vector<std::string> failures;
  };
  auto writer = [&](int which, Outcome& outcome) {
    const std::string task = which == 0 ? "F/A" : "B";
    for (int i = 0; i < kAddsEach; ++i) {
      // Distinct minutes on 2026-12-01 per process and add, lasting 1 to 50 minutes.
      const long long begin = 1'764'547'200LL + (which * kAddsEach + i) * 3600LL;
      const long long end = begin + 60LL * (i + 1);
      const CliRun run = runCli(directory, {"--json", "entry", "add", task, "--from", utc(begin), "--to", utc(end)},
                             "writer" + std::to_string(which));
      if (run.status == 0) {
        const auto json = nlohmann::json::parse(run.out);
        outcome.added[json["id"].get<std::string>()] = {"", begin, end};
      } else {
        ++outcome.failed;
        outcome.failures.push_back(std::to_string(run.status) + ": " + run.err);
      }
    }
  };
  const auto started = std::chrono::steady_clock::now();
  Outcome first, second;
  std::thread other([&] { writer(1, second); });
  writer(0, first);
  other.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  for (const auto* outcome : {&first, &second}) {
    for (const auto& failure : outcome->failures) {
      // A failure is allowed only as one line naming the cause, with exit status 1.
      EXPECT_EQ(failure.rfind("1: chronelle: ", 0), 0u) << failure;
      EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1) << failure;
    }
  }
  const StoreSnapshot snapshot = StoreSnapshot::read(directory.path() / "chronelle.sqlite");
  EXPECT_EQ(snapshot.integrity, "ok");
  for (const auto* outcome : {&first, &second}) {
    for (const auto& [id, row] : outcome->added) {
      ASSERT_TRUE(snapshot.entries.count(id)) << "acknowledged add " << id << " is missing";
      EXPECT_EQ(snapshot.entries.at(id).begin, row.begin) << id;
      EXPECT_EQ(snapshot.entries.at(id).end, row.end) << id;
    }
  }
  EXPECT_EQ(snapshot.entries.size(), first.added.size() + second.added.size());
  EXPECT_TRUE(snapshot.staleTotals.empty()) << ::testing::PrintToString(snapshot.staleTotals);
  std::printf("[ figures  ] %zu + %zu adds completed, %d + %d refused, %.1f s\n", first.added.size(),
              second.added.size(), first.failed, second.failed, seconds);
  for (const auto* outcome : {&first, &second}) {
    for (const auto& failure : outcome->failures) std::printf("[ refused  ] %s", failure.c_str());
  }
}

}  // namespace
}  // namespace chronelle::testing

#endif  // CHRONELLE_BINARY
