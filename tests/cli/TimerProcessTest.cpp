// The timer across processes: every command is a new process that finds the entry the last
// one left running, and pausing applies the rounding preferences kept in the store.

#include <gtest/gtest.h>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

TEST(CliTimer, StartedInOneProcessPausedInAnotherWithRounding) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work", "--billable", "--rate", "60"}});
  const auto prefs = store.okJson({"prefs", "--rounding", "on", "--step", "15m", "--method", "up"});
  EXPECT_EQ(prefs["rounding"], true);
  EXPECT_EQ(prefs["step"], 900);

  store.setNow("2026-12-05T09:00");
  auto status = store.okJson({"start", "Client/Work"});
  EXPECT_EQ(status["state"], "runningManually");
  EXPECT_EQ(status["task"], "Client/Work");
  EXPECT_TRUE(status["entry"]["end"].is_null());
  store.setNow("2026-12-05T09:10");
  status = store.okJson({"status"});
  EXPECT_EQ(status["state"], "runningManually") << "a new process finds the running entry";
  EXPECT_EQ(status["entry"]["duration"], 600);
  EXPECT_EQ(status["entry"]["begin"], "2026-12-05T09:00:00+01:00");
  EXPECT_EQ(store.okJson({"tree"})["nodes"][1]["duration"], 600) << "the task's total includes the running time";
  store.setNow("2026-12-05T09:22");
  status = store.okJson({"pause"});
  EXPECT_EQ(status["state"], "paused");
  // 22 minutes rounded up to the next quarter hour.
  EXPECT_EQ(status["entry"]["end"], "2026-12-05T09:30:00+01:00");
  EXPECT_EQ(status["entry"]["duration"], 1800);
  EXPECT_EQ(status["entry"]["revenue"], 30.0);
  EXPECT_EQ(store.okJson({"status"})["state"], "paused");

  // toggle starts again on the current task; with a minimum length a short entry is dropped.
  store.ok({"prefs", "--min", "5m"});
  store.setNow("2026-12-05T10:00");
  EXPECT_EQ(store.okJson({"toggle"})["state"], "runningManually");
  store.setNow("2026-12-05T10:03");
  EXPECT_NE(store.okJson({"toggle"})["state"], "runningManually");
  const auto entries = store.okJson({"export", "--day", "--format", "json"})["entries"];
  ASSERT_EQ(entries.size(), 1u) << entries.dump();
  EXPECT_EQ(entries[0]["duration"], 1800);

  // A pause at an explicit time, and clear keeps the task.
  store.setNow("2026-12-05T11:00");
  store.ok({"start", "--at", "10:40"});
  status = store.okJson({"pause", "--at", "10:52"});
  EXPECT_EQ(status["entry"]["begin"], "2026-12-05T10:40:00+01:00");
  EXPECT_EQ(status["entry"]["duration"], 900);
  status = store.okJson({"clear"});
  EXPECT_EQ(status["state"], "idleWithTask");
  EXPECT_EQ(status["task"], "Client/Work");
  EXPECT_TRUE(status["entry"].is_null());
  EXPECT_EQ(store.okJson({"status"})["state"], "idleWithTask");

  // Nothing to pause is a failure; an autotracked start is marked.
  const CliResult pause = CliStore().run({"pause"});
  EXPECT_EQ(pause.status, 1);
  EXPECT_EQ(pause.err.rfind("chronelle: ", 0), 0u) << pause.err;
  status = store.okJson({"start", "Client/Work", "--auto"});
  EXPECT_EQ(status["state"], "runningAutotracked");
  EXPECT_EQ(status["entry"]["autotracked"], true);
}

}  // namespace
}  // namespace chronelle::testing
