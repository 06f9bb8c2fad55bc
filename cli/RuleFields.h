#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Arguments.h"

namespace chronelle {
class Rule;
}

namespace chronelle::cli {

// The options that describe a leaf rule, shared by `rule add` and `rule edit`.
inline const std::set<std::string> kRuleValueOptions = {"type",       "app",        "file", "url",  "text",
                                                        "text-match", "file-match", "set",  "unset"};
inline const std::set<std::string> kRuleClearFlags = {"no-app",        "no-file",   "no-url", "no-text",
                                                      "active-window", "any-window"};

// The edits of a leaf rule, read and checked before anything is written. A value type.
struct RuleFields {
  std::optional<std::int16_t> type;
  // "app", "file", "url", "text": the new value, or absent to clear it.
  std::map<std::string, std::optional<std::string>> texts;
  std::optional<std::int16_t> relation;
  std::optional<bool> activeWindow;
  // Settings to set (a value) or remove (absent), in order.
  std::vector<std::pair<std::string, std::optional<std::string>>> userInfo;

  bool empty() const { return !type && texts.empty() && !relation && !activeWindow && userInfo.empty(); }
  // Writes the edits into `rule` (inside a write, main thread).
  void applyTo(Rule& rule) const;

  // The fields the options in `args` give. Throws CliError (usage) for a type outside 0…8, an
  // unknown relation name, contradicting options or a setting without "KEY=".
  static RuleFields read(const Arguments& args);
};

}  // namespace chronelle::cli
