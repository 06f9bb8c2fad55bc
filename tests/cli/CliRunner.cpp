#include "CliRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

extern char** environ;

namespace chronelle::testing {
std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::pair<std::string, int> shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {"", -1};
  char buffer[4096];
  while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  const int status = pclose(pipe);
  return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

nlohmann::json CliResult::json() const {
  try {
    return nlohmann::json::parse(out);
  } catch (const nlohmann::json::exception& e) {
    ADD_FAILURE() << "not JSON: " << e.what() << "\n" << out;
    return nullptr;
  }
}

CliStore::CliStore(std::string timeZone, std::string now) : timeZone_(std::move(timeZone)), now_(std::move(now)) {}

CliResult CliStore::runRaw(const std::vector<std::string>& args, const std::string& input) {
  TempDirectory io;
  const auto inPath = io.file("stdin");
  const auto outPath = io.file("stdout");
  const auto errPath = io.file("stderr");
  std::ofstream(inPath, std::ios::binary) << input;

  std::vector<std::string> argv = {CHRONELLE_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargs;
  for (auto& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  CliResult result;
  if (posix_spawn(&pid, CHRONELLE_BINARY, &actions, nullptr, cargs.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

CliResult CliStore::run(const std::vector<std::string>& args, const std::string& input) const {
  std::vector<std::string> full = {"--store", dir_.path().string(), "--tz", timeZone_, "--now", now_};
  full.insert(full.end(), args.begin(), args.end());
  return runRaw(full, input);
}

std::string CliStore::ok(const std::vector<std::string>& args) const {
  const CliResult result = run(args);
  EXPECT_EQ(result.status, 0) << ::testing::PrintToString(args) << "\nstderr: " << result.err;
  return result.out;
}

void CliStore::okAll(const std::vector<std::vector<std::string>>& commands) const {
  for (const auto& command : commands) ok(command);
}

nlohmann::json withoutId(nlohmann::json object) {
  object.erase("id");
  return object;
}

nlohmann::json CliStore::okJson(std::vector<std::string> args) const {
  args.insert(args.begin(), "--json");
  const CliResult result = run(args);
  EXPECT_EQ(result.status, 0) << ::testing::PrintToString(args) << "\nstderr: " << result.err;
  return result.json();
}

std::string CliStore::snapshot() const {
  return okJson({"tree", "--all"}).dump() + "\n" +
         okJson({"export", "--from", "1970-01-02", "--to", "2100-01-01", "--format", "json"}).dump();
}

}  // namespace chronelle::testing
