// `status` with nothing saved for the timer answers without opening the store.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "CliRunner.h"

namespace chronelle::testing {
namespace {

// Every file of the store directory with its size and modification time.
std::string listing(const std::filesystem::path& directory) {
  std::set<std::string> files;
  for (const auto& file : std::filesystem::directory_iterator(directory)) {
    files.insert(file.path().filename().string() + " " + std::to_string(file.file_size()) + " " +
                 std::to_string(file.last_write_time().time_since_epoch().count()));
  }
  std::string text;
  for (const auto& file : files) text += file + "\n";
  return text;
}

TEST(CliStatus, AnIdleTimerIsReportedWithoutTouchingTheStore) {
  CliStore store;
  store.ok({"task", "add", "Work"});
  const std::string before = listing(store.directory());
  EXPECT_EQ(store.ok({"status"}), "state: idle\ntask:  -\n");
  EXPECT_EQ(store.okJson({"status"}), nlohmann::json::parse(R"({"state": "idle", "task": null, "entry": null})"));
  EXPECT_EQ(listing(store.directory()), before) << "the lock file or the store was written";
}

}  // namespace
}  // namespace chronelle::testing
