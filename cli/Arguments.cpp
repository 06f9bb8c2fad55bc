#include "Arguments.h"

#include "CliError.h"
#include "TextInput.h"

namespace chronelle::cli {

Arguments::Arguments(const std::vector<std::string>& args, const Spec& spec) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 3 || arg.rfind("--", 0) != 0) {
      if (arg == "--") {
        optionsEnded = true;
        continue;
      }
      if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9')) {
        throw CliError::usage("unknown option " + quoteInput(arg));
      }
      positionals_.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> inlineValue;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    if (name == "help" || spec.flags.count(name)) {
      if (inlineValue) throw CliError::usage("option '--" + name + "' takes no value");
      options_.emplace(name, "");
    } else if (spec.valueOptions.count(name)) {
      if (inlineValue) {
        options_.emplace(name, *inlineValue);
      } else if (i + 1 < args.size()) {
        options_.emplace(name, args[++i]);
      } else {
        throw CliError::usage("option '--" + name + "' needs a value");
      }
    } else if (spec.optionalValueOptions.count(name)) {
      if (inlineValue) {
        options_.emplace(name, *inlineValue);
      } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
        options_.emplace(name, args[++i]);
      } else {
        options_.emplace(name, "");
      }
    } else {
      throw CliError::usage("unknown option " + quoteInput("--" + name));
    }
  }
}

std::optional<std::string> Arguments::value(const std::string& name) const {
  auto [first, last] = options_.equal_range(name);
  if (first == last) return std::nullopt;
  return std::prev(last)->second;
}

std::vector<std::string> Arguments::values(const std::string& name) const {
  std::vector<std::string> result;
  auto [first, last] = options_.equal_range(name);
  for (auto it = first; it != last; ++it) result.push_back(it->second);
  return result;
}

bool Arguments::has(const std::string& name) const { return options_.count(name) != 0; }

void Arguments::expectPositionals(std::size_t min, std::size_t max, const std::string& usage) const {
  if (positionals_.size() < min || positionals_.size() > max) {
    throw CliError::usage(positionals_.size() < min ? "missing argument (usage: " + usage + ")"
                                                    : "unexpected argument " + quoteInput(positionals_[max]) + " (usage: " +
                                                          usage + ")");
  }
}

}  // namespace chronelle::cli
