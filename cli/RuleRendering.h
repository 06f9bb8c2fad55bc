#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Rendering.h"
#include "chronelle/model/RuleSetPauseDelay.h"
#include "chronelle/model/RuleSetPauseType.h"
#include "chronelle/model/RuleSetStartDelay.h"
#include "chronelle/model/RuleSetStartType.h"

namespace chronelle {
class RuleSet;
class Task;
}  // namespace chronelle

namespace chronelle::cli {

// The words the `rule` command reads and prints for the enumerations a rule set and a rule
// store as numbers, and the rendering of a task's rule set. Free functions; the rendering
// reads stored objects, so main thread.

// "notify", "active" (start); "none", "notify", "active" (pause).
std::string startTypeName(RuleSetStartType type);
std::string pauseTypeName(RuleSetPauseType type);
// "immediately", "10s", "30s", "1m", "3m", "5m".
std::string delayName(double seconds);
// The case named by `text`; absent for anything else (a pause delay has no "immediately").
std::optional<RuleSetStartType> startTypeNamed(const std::string& text);
std::optional<RuleSetPauseType> pauseTypeNamed(const std::string& text);
std::optional<RuleSetStartDelay> startDelayNamed(const std::string& text);
std::optional<RuleSetPauseDelay> pauseDelayNamed(const std::string& text);
// Relation names: "exact", "contains", "starts-with", "ends-with" (text rules, raw 0…3) and
// "path-is", "name-contains", "path-contains", "name-regex", "path-regex" (file rules, 0…4).
std::optional<int> textMatchNamed(const std::string& text);
std::optional<int> fileMatchNamed(const std::string& text);

// The rule set of `task` as one JSON document: task, whether a set exists, its switches and
// its rules as a tree in order ("rules", each combination with "children").
Json ruleSetJson(const Task& task);
// The same as indented text.
std::string ruleSetText(const Task& task);

}  // namespace chronelle::cli
