// Two `chronelle` processes adding entries to one store at the same time: every add either
// succeeds or fails with one clear line, every success is stored as reported, and the totals
// are right.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

TEST(ConcurrentCli, TwoProcessesAddingAtOnceKeepEverySuccessAndTheTotals) {
  constexpr int kAddsEach = 50;
  const CliStore store("UTC", "2026-12-05T12:00");
  store.okAll({{"folder", "add", "F"}, {"task", "add", "F/A"}, {"task", "add", "B"}});

  // Each process's successes (the entries as it reported them, by identifier) and failures.
  std::map<std::string, nlohmann::json> added[2];
  int refused[2] = {0, 0};
  const auto writer = [&](int which) {
    for (int i = 0; i < kAddsEach; ++i) {
      // One hour per process and add from 2026-12-01 on, lasting 1 to 50 minutes.
      const int hour = which * kAddsEach + i;
      char from[32], to[32];
      std::snprintf(from, sizeof from, "2026-12-%02dT%02d:00Z", 1 + hour / 24, hour % 24);
      std::snprintf(to, sizeof to, "2026-12-%02dT%02d:%02dZ", 1 + hour / 24, hour % 24, i + 1);
      const CliResult run = store.run({"--json", "entry", "add", which == 0 ? "F/A" : "B", "--from", from, "--to", to});
      if (run.status == 0) {
        added[which][run.json()["id"]] = run.json();
      } else {  // allowed only as one line naming the cause, with exit status 1
        ++refused[which];
        EXPECT_TRUE(run.status == 1 && run.err.starts_with("chronelle: ") && std::ranges::count(run.err, '\n') == 1)
            << run.status << ": " << run.err;
      }
    }
  };
  std::thread other([&] { writer(1); });
  writer(0);
  other.join();
  std::map<std::string, nlohmann::json> stored, acknowledged = added[0];
  acknowledged.insert(added[1].begin(), added[1].end());
  const auto exported = store.okJson({"export", "--from", "2026-12-01", "--to", "2026-12-31", "--format", "json"});
  for (const auto& entry : exported["entries"]) stored[entry["id"]] = entry;
  EXPECT_EQ(stored, acknowledged);
  EXPECT_EQ(store.ok({"check"}), "all totals match their entries\n");
  std::printf("[ figures  ] %zu + %zu adds completed, %d + %d refused\n", added[0].size(), added[1].size(),
              refused[0], refused[1]);
}

}  // namespace
}  // namespace chronelle::testing
