// __complete: the words bash completion offers, read from the command table, the help texts
// and the store, so the completion script never falls out of step with the program.

#include <algorithm>
#include <regex>
#include <set>

#include "CliError.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Node.h"

namespace chronelle::cli {
namespace {

// The distinct matches of `pattern`'s first group in `text`, in order of appearance.
std::vector<std::string> matches(const std::string& text, const std::regex& pattern) {
  std::vector<std::string> words;
  std::set<std::string> seen;
  for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
    const std::string word = (*it)[1];
    if (seen.insert(word).second) words.push_back(word);
  }
  return words;
}

// "node archive|unarchive PATH" in a usage line gives "archive" and "unarchive".
std::vector<std::string> subcommands(const std::string& command) {
  const std::regex usage("chronelle " + command + " ([a-z|-]+)");
  std::vector<std::string> words;
  for (const auto& alternatives : matches(helpText(command), usage)) {
    std::size_t start = 0;
    while (start <= alternatives.size()) {
      const auto bar = alternatives.find('|', start);
      const std::string word = alternatives.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
      if (!word.empty() && std::find(words.begin(), words.end(), word) == words.end()) words.push_back(word);
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
  }
  return words;
}

}  // namespace

void completeCommand(CommandContext& ctx, const Args& args) {
  const std::string what = args.empty() ? "" : args.front();
  std::vector<std::string> words;
  if (what == "commands") {
    words = commandNames();
    words.push_back("help");
  } else if (what == "subcommands" && args.size() == 2) {
    words = subcommands(args[1]);
  } else if (what == "options" && args.size() >= 2) {
    std::string text = helpText(args[1]);
    if (args.size() > 2) text += helpText(args[1] + " " + args[2]);
    text += helpText("");  // the global options
    words = matches(text, std::regex("(--[a-z][a-z-]*)"));
  } else if (what == "nodes") {
    const NodeDirectory nodes(ctx.app().provider());
    for (const auto& item : nodes.items()) words.push_back(NodeDirectory::pathOf(*item.node));
  } else {
    throw CliError::usage("__complete takes commands, subcommands CMD, options CMD [SUB] or nodes");
  }
  for (const auto& word : words) ctx.out() << word << '\n';
}

}  // namespace chronelle::cli
