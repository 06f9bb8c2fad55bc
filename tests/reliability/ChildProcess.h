#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace chronelle::testing {

// A child process whose standard output the test reads line by line through a pipe (its
// standard error goes to a file). Killed with SIGKILL and reaped on destruction if still
// running. Not thread-safe.
class ChildProcess {
 public:
  // Starts `argv[0]` with `argv` and the test's environment plus `extraEnvironment`
  // ("NAME=value" entries). Fails the test (ADD_FAILURE) when it cannot start.
  ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& stderrFile,
               const std::vector<std::string>& extraEnvironment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads until `count` complete lines starting with `prefix` have arrived after the ones
  // already read, or until end of output; returns false at end of output.
  bool readUntil(const std::string& prefix, int count);
  // Sends SIGKILL (when not yet ended), reads the rest of the output and reaps the process.
  // Returns the wait status.
  int killAndReap();
  // Reads the output to its end and reaps the process; returns the wait status.
  int reap();

  // Every complete line read so far, without the newline.
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  bool readMore();  // false at end of output
  void drain();

  pid_t pid_ = -1;
  int out_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
};

}  // namespace chronelle::testing
