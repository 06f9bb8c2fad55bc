// Two `chronelle` processes adding entries to one store at the same time: every add either
// succeeds or fails with one clear line, every success is stored, and the totals are right.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "StoreSnapshot.h"

#ifdef CHRONELLE_BINARY
#include "CliRunner.h"

namespace chronelle::testing {
namespace {

TEST(ConcurrentCli, TwoProcessesAddingAtOnceKeepEverySuccessAndTheTotals) {
  constexpr int kAddsEach = 50;
  const CliStore store("UTC", "2026-12-05T12:00");
  for (const auto& args : std::vector<std::vector<std::string>>{{"folder", "add", "F"}, {"task", "add", "F/A"},
                                                                 {"task", "add", "B"}}) {
    ASSERT_EQ(store.run(args).status, 0);
  }

  struct Outcome {
    std::map<std::string, EntryRow> added;  // by identifier, as the process reported them
    std::vector<std::string> failures;
  };
  const auto writer = [&](int which, Outcome& outcome) {
    for (int i = 0; i < kAddsEach; ++i) {
      // One hour per process and add from 2026-12-01 on, lasting 1 to 50 minutes.
      const int hour = which * kAddsEach + i;
      char from[32], to[32];
      std::snprintf(from, sizeof from, "2026-12-%02dT%02d:00Z", 1 + hour / 24, hour % 24);
      std::snprintf(to, sizeof to, "2026-12-%02dT%02d:%02dZ", 1 + hour / 24, hour % 24, i + 1);
      const CliResult run = store.run({"--json", "entry", "add", which == 0 ? "F/A" : "B", "--from", from, "--to", to});
      if (run.status == 0) {
        const long long begin = 1'796'083'200LL + hour * 3600LL;
        outcome.added[nlohmann::json::parse(run.out)["id"].get<std::string>()] = {"", begin, begin + 60LL * (i + 1)};
      } else {
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

  const StoreSnapshot snapshot = StoreSnapshot::read(store.directory() / "chronelle.sqlite");
  EXPECT_EQ(snapshot.integrity, "ok");
  for (const auto* outcome : {&first, &second}) {
    for (const auto& failure : outcome->failures) {
      // A failure is allowed only as one line naming the cause, with exit status 1.
      EXPECT_EQ(failure.rfind("1: chronelle: ", 0), 0u) << failure;
      EXPECT_EQ(std::count(failure.begin(), failure.end(), '\n'), 1) << failure;
      std::printf("[ refused  ] %s", failure.c_str());
    }
    for (const auto& [id, row] : outcome->added) {
      ASSERT_TRUE(snapshot.entries.count(id)) << "acknowledged add " << id << " is missing";
      EXPECT_EQ(snapshot.entries.at(id).begin, row.begin) << id;
      EXPECT_EQ(snapshot.entries.at(id).end, row.end) << id;
    }
  }
  EXPECT_EQ(snapshot.entries.size(), first.added.size() + second.added.size());
  EXPECT_TRUE(snapshot.staleTotals.empty()) << ::testing::PrintToString(snapshot.staleTotals);
  std::printf("[ figures  ] %zu + %zu adds completed, %zu + %zu refused, %.1f s\n", first.added.size(),
              second.added.size(), first.failures.size(), second.failures.size(), seconds);
}

}  // namespace
}  // namespace chronelle::testing

#endif  // CHRONELLE_BINARY
