#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "testsupport/FileContent.h"
#include "testsupport/TempDirectory.h"

namespace chronelle::testing {

// What one run of the built `chronelle` binary printed and returned.
struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
  // `out` parsed as JSON; fails the test (and returns null) when it is not.
  nlohmann::json json() const;
};

// Runs `command` with the shell: its standard output and exit status (128 + signal if killed).
std::pair<std::string, int> shell(const std::string& command);
// `word` quoted for the shell, whatever bytes it holds.
std::string singleQuoted(const std::string& word);

// `object` without its "id" (random in every store), to compare whole objects.
nlohmann::json withoutId(nlohmann::json object);
// Expects the parts of `actual` that the JSON text `expected` names (object keys; array
// elements, when both arrays are as long) to be as given, so that a test states only those.
void expectParts(const nlohmann::json& actual, const std::string& expected);

// Runs the built binary in a fresh store directory, with a fixed time zone and "now" (the real
// clock when it is empty). Every run is a new process, as when a user types the commands.
// `run` may be called from several threads at once.
class CliStore {
 public:
  CliStore(std::string timeZone = "Europe/Berlin", std::string now = "2026-12-05T12:00");

  // Runs `chronelle --store DIR --tz ZONE --now NOW args…` with `input` on standard input.
  CliResult run(const std::vector<std::string>& args, const std::string& input = "") const;
  // Runs and expects exit status 0, failing the test with stderr otherwise; returns stdout.
  std::string ok(const std::vector<std::string>& args) const;
  // `ok` for each command in turn.
  void okAll(const std::vector<std::vector<std::string>>& commands) const;
  // `ok` with --json, parsed.
  nlohmann::json okJson(std::vector<std::string> args) const;
  // `okJson` and expects the parts of its output that the JSON text `expected` names.
  void expectJson(const std::vector<std::string>& args, const std::string& expected) const;
  // A dump of everything stored (the whole tree and every entry) to compare before and after.
  std::string snapshot() const;

  const std::filesystem::path& directory() const { return dir_.path(); }
  void setNow(std::string now) { now_ = std::move(now); }

  // Runs the binary with exactly `args` (no store, zone or time added).
  static CliResult runRaw(const std::vector<std::string>& args, const std::string& input = "");

 private:
  TempDirectory dir_;
  std::string timeZone_;
  std::string now_;
};

}  // namespace chronelle::testing
