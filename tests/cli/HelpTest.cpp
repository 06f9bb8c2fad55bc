// Terminal habits: every command's help gives examples that run as printed, the overview
// names every command, --version, bash completion of commands, options and node paths, and
// `watch` on a pseudo-terminal while other processes write to the store: it follows their
// starts, entries and pauses, ticks the running entry, and ends cleanly on Ctrl-C. Every wait
// is for output, with a deadline.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wordexp.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <utility>

#include "CliRunner.h"
#include "Commands.h"

namespace chronelle::testing {
namespace {

// Splits an example line as the shell would.
std::vector<std::string> shellWords(const std::string& line) {
  wordexp_t words{};
  EXPECT_EQ(wordexp(line.c_str(), &words, WRDE_NOCMD | WRDE_UNDEF), 0) << line;
  std::vector<std::string> result(words.we_wordv, words.we_wordv + words.we_wordc);
  wordfree(&words);
  return result;
}

TEST(CliHelp, EveryExampleRunsAsPrintedAndTheOverviewNamesEveryCommand) {
  // A store the examples can run in: their placeholder identifiers are replaced by these.
  CliStore fixture;
  fixture.okAll({{"folder", "add", "Client", "--billable", "--rate", "60"}, {"task", "add", "Client/Build"},
                 {"task", "add", "Chores"}});
  std::map<std::string, std::string> replace = {
      {"3f2a9c1e", fixture.okJson({"entry", "add", "Client/Build", "--from", "2026-12-05 09:00", "--to", "10:00"})["id"]},
      {"8d41b7a0", fixture.okJson({"entry", "add", "Client/Build", "--from", "2026-12-04 14:00", "--to", "15:00"})["id"]},
      {"5b7c0d2e", fixture.okJson({"rule", "add", "Client/Build", "--type", "1"})["rules"][0]["id"]},
      {"9e6f1a3b", fixture.okJson({"rule", "add", "Client/Build", "--group"})["rules"][1]["id"]}};
  fixture.ok({"start", "Chores", "--at", "11:00"});

  const std::string overview = CliStore::runRaw({"--help"}).out;
  for (const auto& command : cli::commandNames()) {
    EXPECT_TRUE(std::regex_search(overview, std::regex("\n  (\\S+ [|] )*" + command + "[ \n]")))
        << "the overview lacks " << command;
    // Help needs no store: this one cannot be opened.
    const CliResult help = CliStore::runRaw({"--store", "/dev/null/store", command, "--help"});
    // The lines of the "Example:" or "Examples:" section.
    std::vector<std::string> lines;
    std::istringstream text(help.out.substr(std::min(help.out.find("\nExample") + 1, help.out.size())));
    for (std::string line; std::getline(text, line) && (lines.empty() || line.rfind("  ", 0) == 0);) lines.push_back(line);
    lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(1, lines.size()));  // the header
    EXPECT_GE(lines.size(), 1u) << command << " --help shows no example";
    for (const auto& line : lines) {
      const auto at = line.find("chronelle ");
      ASSERT_NE(at, std::string::npos) << line;
      std::vector<std::string> args = shellWords(line.substr(at + 10));
      EXPECT_NE(std::find(args.begin(), args.end(), command), args.end()) << line;
      if (command == "watch") continue;  // runs until interrupted; tested on a terminal of its own
      for (auto& arg : args) {
        if (replace.count(arg)) arg = replace[arg];
        if (arg == "report.html") arg = (fixture.directory().parent_path() / "report.html").string();
      }
      // Each example in a copy of the store, so one example's changes do not meet the next
      // (the demo wants a store of its own).
      TempDirectory copy;
      if (command != "demo") {
        std::filesystem::copy(fixture.directory(), copy.path(),
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
      }
      args.insert(args.begin(), {"--store", copy.path().string(), "--tz", "Europe/Berlin", "--now", "2026-12-05T12:00"});
      const CliResult result = CliStore::runRaw(args, "[]");
      EXPECT_EQ(result.status, 0) << line << "\n" << result.err;
    }
  }

  // The demo's nodes are named by the last part of their path.
  const CliStore demo;
  demo.ok({"demo"});
  const auto tree = demo.okJson({"tree"});
  ASSERT_FALSE(tree["nodes"].empty());
  for (const auto& node : tree["nodes"]) {
    const std::string path = node["path"];
    EXPECT_EQ(node["name"], path.substr(path.rfind('/') + 1)) << path;
  }

  EXPECT_EQ(CliStore::runRaw({"--store", "/dev/null/store", "--json", "parse", "1h 30m"})
                .json()["seconds"], 5400);
  EXPECT_EQ(CliStore::runRaw({}).status, 2);
  const CliResult version = CliStore::runRaw({"--version"});
  EXPECT_TRUE(version.status == 0 && std::regex_match(version.out, std::regex("chronelle [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
}

TEST(CliHelp, BashCompletesCommandsOptionsAndNodePaths) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Build"}, {"task", "add", "Deep Work"}});
  const std::string script = CHRONELLE_SOURCE_DIR "/cli/completion/chronelle.bash";
  const std::vector<std::string> atStore = {CHRONELLE_BINARY, "--store", store.directory().string()};
  // The words after the program and its store (the last is being typed), and what is offered.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"ru"}, "rule"}, {{"w"}, "watch"}, {{"activity", "d"}, "delete"}, {{"--js"}, "--json"},
      {{"rule", ""}, "list add edit move activate deactivate delete settings"}, {{"report", "--fo"}, "--format"},
      {{"rule", "add", "Client/Build", "--text-m"}, "--text-match"}, {{"start", "Cl"}, "Client Client/Build"},
      {{"start", "De"}, "Deep\\ Work"}, {{"report", "--node", "Client/"}, "Client/Build"},
  };
  for (const auto& [typed, offered] : cases) {
    std::string array;
    for (const auto& word : atStore) array += singleQuoted(word) + " ";
    for (const auto& word : typed) array += singleQuoted(word) + " ";
    const auto result = shell("bash -c " + singleQuoted("source " + singleQuoted(script) + "; COMP_WORDS=(" + array +
                                                       "); COMP_CWORD=" + std::to_string(atStore.size() + typed.size() - 1) +
                                                       "; _chronelle; echo \"${COMPREPLY[*]}\""));
    EXPECT_EQ(result, std::pair(offered + "\n", 0)) << array;
  }
}

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(20);

// A child process whose controlling terminal is a pseudo-terminal we hold the other end of.
class PtyProcess {
 public:
  explicit PtyProcess(const std::string& command) {
    const std::string line = "exec " + command;  // built before the fork: the child only execs
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) _exit(execl("/bin/sh", "sh", "-c", line.c_str(), nullptr));
  }
  ~PtyProcess() {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    close(master_);
  }

  // Reads until `done(output so far)` holds; false at the deadline or when the output ended
  // without it.
  bool waitFor(const std::function<bool(const std::string&)>& done) {
    const auto deadline = Clock::now() + kDeadline;
    while (!done(output_)) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || ended_) return false;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      ended_ = got <= 0;  // the child closed the terminal
      output_.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    return true;
  }
  bool waitForText(const std::string& text) {
    return waitFor([&](const auto& out) { return out.find(text) != out.npos; });
  }
  // The interrupt character, as a user's Ctrl-C.
  void interrupt() { ASSERT_EQ(write(master_, "\x03", 1), 1); }
  // The exit status once the child has closed the terminal; -1 when it did not in time.
  int waitForExit() {
    int status = 0;
    if (!waitFor([this](const std::string&) { return ended_; }) ||
        waitpid(std::exchange(pid_, -1), &status, 0) < 0) {
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string& output() const { return output_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
  std::string output_;
};

TEST(CliWatch, FollowsOtherProcessesTicksAndEndsOnInterrupt) {
  const CliStore store("UTC", "");  // the view runs on the real clock, so the writers do too
  store.ok({"task", "add", "Work"});

  PtyProcess watch(singleQuoted(CHRONELLE_BINARY) + " --store " +
                   singleQuoted(store.directory().string()) + " --tz UTC watch");
  ASSERT_TRUE(watch.waitForText("Ctrl-C to quit")) << watch.output();
  EXPECT_EQ(watch.output().find("running"), std::string::npos);

  store.ok({"start", "Work"});
  ASSERT_TRUE(watch.waitForText("● running  Work")) << watch.output();
  // The running entry ticks: its duration is drawn again with a new value.
  const std::regex running("running  Work  (\\d+:\\d\\d:\\d\\d)");
  ASSERT_TRUE(watch.waitFor([&](const std::string& out) {
    std::set<std::string> seen;
    for (std::sregex_iterator it(out.begin(), out.end(), running), end; it != end; ++it) seen.insert((*it)[1]);
    return seen.size() >= 2;
  })) << watch.output();

  store.ok({"entry", "add", "Work", "--from", "00:00", "--to", "00:00:30"});  // today
  ASSERT_TRUE(watch.waitForText("00:00–00:00  0:00:30  Work")) << watch.output();

  store.ok({"pause"});
  ASSERT_TRUE(watch.waitForText("○ paused")) << watch.output();
  watch.interrupt();
  EXPECT_EQ(watch.waitForExit(), 0) << watch.output();
  EXPECT_TRUE(watch.output().ends_with("\x1b[?25h\r\n")) << "the cursor is shown again";
  // The view wrote nothing of its own: the timer state the writers left is intact.
  EXPECT_EQ(store.okJson({"status"})["state"], "paused");
}

}  // namespace
}  // namespace chronelle::testing
