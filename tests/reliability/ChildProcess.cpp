#include "ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace chronelle::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& stderrFile,
                           const std::vector<std::string>& extraEnvironment) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  std::vector<std::string> args = argv;
  std::vector<char*> cargs;
  for (auto& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  std::vector<std::string> env(extraEnvironment);
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (posix_spawn(&pid_, cargs[0], &actions, nullptr, cargs.data(), cenv.data()) != 0) {
    ADD_FAILURE() << "cannot start " << argv.front();
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  out_ = pipeEnds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) killAndReap();
  if (out_ >= 0) ::close(out_);
}

bool ChildProcess::readMore() {
  if (out_ < 0) return false;
  char buffer[4096];
  const ssize_t n = ::read(out_, buffer, sizeof buffer);
  if (n <= 0) return false;
  partial_.append(buffer, static_cast<std::size_t>(n));
  for (std::size_t newline; (newline = partial_.find('\n')) != std::string::npos;) {
    lines_.push_back(partial_.substr(0, newline));
    partial_.erase(0, newline + 1);
  }
  return true;
}

bool ChildProcess::readUntil(const std::string& prefix, int count) {
  std::size_t next = lines_.size();
  while (count > 0) {
    for (; next < lines_.size() && count > 0; ++next) {
      if (lines_[next].rfind(prefix, 0) == 0) --count;
    }
    if (count > 0 && !readMore()) return false;
  }
  return true;
}

void ChildProcess::drain() {
  while (readMore()) {
  }
}

int ChildProcess::killAndReap() {
  if (pid_ > 0) ::kill(pid_, SIGKILL);
  return reap();
}

int ChildProcess::reap() {
  drain();
  int status = 0;
  if (pid_ > 0) ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

}  // namespace chronelle::testing
