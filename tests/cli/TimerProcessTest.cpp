// The timer across processes: every command is a new process that finds the entry the last
// one left running, and pausing applies the rounding preferences kept in the store.

#include <gtest/gtest.h>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

TEST(CliTimer, StartedInOneProcessPausedInAnotherWithRounding) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Work", "--billable", "--rate", "60"}});
  // At each time of 2026-12-05, a command and the parts of its JSON output it must give.
  const std::vector<std::tuple<const char*, std::vector<std::string>, const char*>> steps = {
      {"08:00", {"prefs", "--rounding", "on", "--step", "15m", "--method", "up"}, R"({"rounding": true, "step": 900})"},
      {"09:00", {"start", "Client/Work"}, R"({"state": "runningManually", "task": "Client/Work", "entry": {"end": null}})"},
      // A new process finds the running entry; the task's total includes the running time.
      {"09:10", {"status"}, R"({"state": "runningManually", "entry": {"duration": 600, "begin": "2026-12-05T09:00:00+01:00"}})"},
      {"09:10", {"tree"}, R"({"nodes": [{}, {"duration": 600}]})"},
      // 22 minutes rounded up to the next quarter hour.
      {"09:22", {"pause"}, R"({"state": "paused", "entry": {"end": "2026-12-05T09:30:00+01:00", "duration": 1800, "revenue": 30.0}})"},
      {"09:22", {"status"}, R"({"state": "paused"})"},
      // toggle starts again on the current task; with a minimum length a short entry is dropped.
      {"09:22", {"prefs", "--min", "5m"}, "{}"},
      {"10:00", {"toggle"}, R"({"state": "runningManually"})"},
      {"10:03", {"toggle"}, R"({"state": "idleWithTask", "entry": null})"},
      {"10:03", {"export", "--day", "--format", "json"}, R"({"entries": [{"duration": 1800}]})"},
      // A pause at an explicit time, and clear keeps the task.
      {"11:00", {"start", "--at", "10:40"}, "{}"},
      {"11:00", {"pause", "--at", "10:52"}, R"({"entry": {"begin": "2026-12-05T10:40:00+01:00", "duration": 900}})"},
      {"11:00", {"clear"}, R"({"state": "idleWithTask", "task": "Client/Work", "entry": null})"},
      {"11:00", {"status"}, R"({"state": "idleWithTask"})"},
      {"11:00", {"start", "Client/Work", "--auto"}, R"({"state": "runningAutotracked", "entry": {"autotracked": true}})"},
  };
  for (const auto& [now, args, expected] : steps) {
    store.setNow(std::string("2026-12-05T") + now);
    SCOPED_TRACE(now);
    store.expectJson(args, expected);
  }
  // Nothing to pause is a failure.
  const CliResult pause = CliStore().run({"pause"});
  EXPECT_EQ(pause.status, 1);
  EXPECT_EQ(pause.err.rfind("chronelle: ", 0), 0u) << pause.err;
}

}  // namespace
}  // namespace chronelle::testing
