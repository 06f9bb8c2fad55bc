#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace chronelle::cli {

// The arguments of one command, split into options and positionals by a declared option
// set: `--name value` / `--name=value` for value options, `--name` for flags, and options
// whose value is optional (`--day [DATE]`), which take the next argument only when it does
// not start with "--". "--" ends the options; "-" is a positional (standard input).
// `--help` is always accepted. A value type; not thread-safe.
class Arguments {
 public:
  struct Spec {
    std::set<std::string> valueOptions;
    std::set<std::string> flags;
    std::set<std::string> optionalValueOptions;
  };

  // Throws CliError (usage) for an unknown option or a value option without a value.
  Arguments(const std::vector<std::string>& args, const Spec& spec);

  // The last value given for `name`; absent when the option was not given. An optional-value
  // option given without one reads as an empty string.
  std::optional<std::string> value(const std::string& name) const;
  // Every value given for `name`, in order.
  std::vector<std::string> values(const std::string& name) const;
  // Whether `name` was given at all (flag or option).
  bool has(const std::string& name) const;
  const std::vector<std::string>& positionals() const { return positionals_; }
  bool help() const { return has("help"); }

  // Throws CliError (usage) unless the number of positionals is within [min, max].
  void expectPositionals(std::size_t min, std::size_t max, const std::string& usage) const;

 private:
  std::multimap<std::string, std::string> options_;
  std::vector<std::string> positionals_;
};

}  // namespace chronelle::cli
