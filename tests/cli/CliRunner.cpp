#include "CliRunner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

namespace chronelle::testing {
std::pair<std::string, int> shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {"", -1};
  char buffer[4096];
  while (const std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  const int status = pclose(pipe);
  if (status == -1) return {output, -1};
  return {output, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
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

std::string singleQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CliResult CliStore::runRaw(const std::vector<std::string>& args, const std::string& input) {
  TempDirectory io;
  writeFile(io.file("stdin"), input);
  std::string command = singleQuoted(CHRONELLE_BINARY);
  for (const auto& arg : args) command += " " + singleQuoted(arg);
  const auto [out, status] = shell(command + " <" + singleQuoted(io.file("stdin")) + " 2>" +
                                   singleQuoted(io.file("stderr")));
  return CliResult{status, out, readFile(io.file("stderr"))};
}

CliResult CliStore::run(const std::vector<std::string>& args, const std::string& input) const {
  std::vector<std::string> full = {"--store", dir_.path().string(), "--tz", timeZone_};
  if (!now_.empty()) full.insert(full.end(), {"--now", now_});
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

namespace {
nlohmann::json picked(const nlohmann::json& actual, const nlohmann::json& expected) {
  if (expected.is_object() && actual.is_object()) {
    nlohmann::json result = nlohmann::json::object();
    for (const auto& [key, value] : expected.items()) result[key] = actual.contains(key) ? picked(actual[key], value) : "(absent)";
    return result;
  }
  if (!expected.is_array() || !actual.is_array() || expected.size() != actual.size()) return actual;
  nlohmann::json result = nlohmann::json::array();
  for (std::size_t i = 0; i < actual.size(); ++i) result.push_back(picked(actual[i], expected[i]));
  return result;
}
}  // namespace

void expectParts(const nlohmann::json& actual, const std::string& expected) {
  const auto json = nlohmann::json::parse(expected);
  EXPECT_EQ(picked(actual, json), json);
}

nlohmann::json CliStore::okJson(std::vector<std::string> args) const {
  args.insert(args.begin(), "--json");
  return CliResult{0, ok(args), ""}.json();
}

void CliStore::expectJson(const std::vector<std::string>& args, const std::string& expected) const {
  SCOPED_TRACE(::testing::PrintToString(args));
  expectParts(okJson(args), expected);
}

std::string CliStore::snapshot() const {
  return okJson({"tree", "--all"}).dump() + "\n" +
         okJson({"export", "--from", "1970-01-02", "--to", "2100-01-01", "--format", "json"}).dump();
}

}  // namespace chronelle::testing
