// Terminal habits: every command's help gives examples that run as printed, the overview
// names every command, --version, and bash completion of commands, options and node paths.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>

#include "CliRunner.h"
#include "Commands.h"

namespace chronelle::testing {
namespace {

// Splits an example line as the shell would: spaces separate, single quotes group.
std::vector<std::string> shellWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool any = false;
  for (const char c : line) {
    if (c == '\'') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

std::string singleQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TEST(CliHelp, EveryExampleRunsAsPrintedAndTheOverviewNamesEveryCommand) {
  // A store the examples can run in: their placeholder identifiers are replaced by these.
  CliStore fixture;
  fixture.okAll({{"folder", "add", "Client", "--billable", "--rate", "60"}, {"task", "add", "Client/Build"},
                 {"task", "add", "Chores"}});
  std::map<std::string, std::string> replace;
  replace["3f2a9c1e"] = fixture.okJson({"entry", "add", "Client/Build", "--from", "2026-12-05 09:00", "--to",
                                        "2026-12-05 10:00"})["id"];
  replace["8d41b7a0"] = fixture.okJson({"entry", "add", "Client/Build", "--from", "2026-12-04 14:00", "--to",
                                        "2026-12-04 15:00"})["id"];
  replace["5b7c0d2e"] = fixture.okJson({"rule", "add", "Client/Build", "--type", "1"})["rules"][0]["id"];
  replace["9e6f1a3b"] = fixture.okJson({"rule", "add", "Client/Build", "--group"})["rules"][1]["id"];
  fixture.ok({"start", "Chores", "--at", "11:00"});

  const std::string overview = CliStore::runRaw({"--help"}).out;
  for (const auto& command : cli::commandNames()) {
    EXPECT_TRUE(std::regex_search(overview, std::regex("\n  (\\S+ [|] )*" + command + "[ \n]")))
        << "the overview lacks " << command;
    const CliResult help = CliStore::runRaw({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    // The lines of the "Example:" or "Examples:" section.
    std::vector<std::string> lines;
    std::istringstream text(help.out.substr(std::min(help.out.find("\nExample") + 1, help.out.size())));
    std::string header;
    std::getline(text, header);
    for (std::string line; std::getline(text, line) && line.rfind("  ", 0) == 0;) lines.push_back(line);
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

  const CliResult version = CliStore::runRaw({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("chronelle [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
}

TEST(CliHelp, BashCompletesCommandsOptionsAndNodePaths) {
  CliStore store;
  store.okAll({{"folder", "add", "Client"}, {"task", "add", "Client/Build"}, {"task", "add", "Deep Work"}});
  const std::string script = CHRONELLE_SOURCE_DIR "/cli/completion/chronelle.bash";
  const std::vector<std::string> atStore = {CHRONELLE_BINARY, "--store", store.directory().string()};
  struct Case {
    std::vector<std::string> words;  // after the program and its store; the last is being typed
    std::vector<std::string> offered;
  };
  const std::vector<Case> cases = {
      {{"ru"}, {"rule"}}, {{"w"}, {"watch"}}, {{"activity", "d"}, {"delete"}}, {{"--js"}, {"--json"}},
      {{"rule", ""}, {"list", "add", "edit", "move", "activate", "deactivate", "delete", "settings"}},
      {{"report", "--fo"}, {"--format"}}, {{"rule", "add", "Client/Build", "--text-m"}, {"--text-match"}},
      {{"start", "Cl"}, {"Client", "Client/Build"}}, {{"start", "De"}, {"Deep\\ Work"}},
      {{"report", "--node", "Client/"}, {"Client/Build"}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::vector<std::string> words = atStore;
    words.insert(words.end(), cases[i].words.begin(), cases[i].words.end());
    std::string array;
    for (const auto& word : words) array += singleQuoted(word) + " ";
    const std::string command = "source " + singleQuoted(script) + "; COMP_WORDS=(" + array +
                                "); COMP_CWORD=" + std::to_string(words.size() - 1) +
                                "; _chronelle; printf '%s\\n' \"${COMPREPLY[@]}\"";
    const auto [out, status] = shell("bash -c " + singleQuoted(command));
    std::vector<std::string> offered;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) offered.push_back(line);
    }
    EXPECT_EQ(status, 0) << array;
    EXPECT_EQ(offered, cases[i].offered) << "case " << i << ": " << array;
  }
}

}  // namespace
}  // namespace chronelle::testing
