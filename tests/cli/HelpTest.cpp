// Terminal habits: every command's help gives examples that run as printed, the overview
// names every command, --version, and bash completion of commands, options and node paths.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <wordexp.h>

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
    const CliResult help = CliStore::runRaw({command, "--help"});
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

}  // namespace
}  // namespace chronelle::testing
