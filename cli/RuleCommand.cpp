// rule: a task's automatic-tracking rule set — its start and pause settings, and its rules
// and groups of rules (combinations) in order.

#include <algorithm>
#include <cctype>

#include "Arguments.h"
#include "CliError.h"
#include "Commands.h"
#include "NodeDirectory.h"
#include "RuleFields.h"
#include "RuleRendering.h"
#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Task.h"

namespace chronelle::cli {
namespace {

// A rule or combination named by its identifier or a unique prefix of it.
std::shared_ptr<RuleBase> resolveRule(AppServices& app, const std::string& typed) {
  // Identifiers are upper-case UUIDs; a typed prefix may be either case.
  std::string text = typed;
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  const auto rules = app.stack().viewContext()->fetch(RuleBase::fetchRequest());
  std::vector<std::shared_ptr<RuleBase>> found;
  for (const auto& object : rules) {
    auto rule = std::dynamic_pointer_cast<RuleBase>(object);
    const auto id = rule ? rule->identifier() : std::nullopt;
    if (!id || text.empty() || id->rfind(text, 0) != 0) continue;
    if (*id == text) return rule;
    found.push_back(rule);
  }
  if (found.empty()) throw CliError::usage("no rule '" + typed + "'");
  if (found.size() > 1) throw CliError::usage("rule '" + typed + "' is ambiguous; give more of its identifier");
  return found.front();
}

// The set a rule belongs to, directly or through its combination.
std::shared_ptr<RuleSet> setOf(const RuleBase& rule) {
  if (auto set = rule.set()) return set;
  const auto parent = rule.parent();
  return parent ? parent->set() : nullptr;
}

std::shared_ptr<Task> taskOf(const RuleBase& rule) {
  const auto set = setOf(rule);
  const auto task = set ? set->task() : nullptr;
  if (!task) throw CliError::failure("rule '" + shortId(rule.identifier()) + "' belongs to no task");
  return task;
}

std::size_t siblingCount(const RuleSet& set, const std::shared_ptr<RuleCombination>& in) {
  return in ? in->childrenArray().size() : set.rules().size();
}

// `--at N` checked against the destination; the end when not given.
std::size_t readIndex(const Arguments& args, std::size_t siblings) {
  const auto at = args.value("at");
  if (!at) return siblings;
  std::size_t index = 0;
  try {
    std::size_t used = 0;
    const long value = std::stol(*at, &used);
    if (used != at->size() || value < 0) throw std::invalid_argument("negative");
    index = static_cast<std::size_t>(value);
  } catch (const std::exception&) {
    throw CliError::usage("--at takes a position 0, 1, 2, …");
  }
  if (index > siblings) {
    throw CliError::usage("--at " + *at + " is past the end (there are " + std::to_string(siblings) + " rules there)");
  }
  return index;
}

std::shared_ptr<RuleCombination> readGroup(AppServices& app, const Arguments& args) {
  const auto in = args.value("in");
  if (!in) return nullptr;
  auto group = std::dynamic_pointer_cast<RuleCombination>(resolveRule(app, *in));
  if (!group) throw CliError::usage("rule '" + *in + "' is not a group");
  return group;
}

template <class Block>
void write(AppServices& app, Block block) {
  app.run(app.provider().executeWriteOperation(
      [&](ObjectContext&, DataModifier& modifier, const ManagedObjectFetcher&) { block(modifier); }));
}

void printSet(CommandContext& ctx, const Task& task) {
  if (ctx.json()) {
    ctx.print(ruleSetJson(task));
  } else {
    ctx.out() << ruleSetText(task);
  }
}

void addRule(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  std::set<std::string> values = kRuleValueOptions;
  values.insert({"in", "at"});
  std::set<std::string> flags = kRuleClearFlags;
  flags.insert({"group", "inactive"});
  const Arguments args(rawArgs, {values, flags, {}});
  args.expectPositionals(1, 1, "chronelle rule add TASK (--type N [rule options] | --group) [--in GROUP] [--at N]");
  const auto task = NodeDirectory::resolveTask(app.provider(), args.positionals().front());
  const RuleFields fields = RuleFields::read(args);
  const bool group = args.has("group");
  if (group && !fields.empty()) throw CliError::usage("a group has no rule options");
  if (!group && !fields.type) throw CliError::usage("a rule needs --type N (0 … 8), or --group for a group");
  const auto in = readGroup(app, args);
  if (in && group) throw CliError::usage("groups do not nest");
  if (in && setOf(*in) != task->ruleSet()) throw CliError::usage("the group belongs to another task");
  const auto existing = task->ruleSet();
  const std::size_t index = readIndex(args, existing ? siblingCount(*existing, in) : 0);
  write(app, [&](DataModifier& modifier) {
    auto set = modifier.ruleSetOf(*task);
    std::shared_ptr<RuleBase> rule;
    if (group) {
      rule = modifier.newRuleCombination();
    } else {
      auto leaf = modifier.newRule();
      fields.applyTo(*leaf);
      rule = leaf;
    }
    modifier.moveRules({rule}, set, in, index);
    if (args.has("inactive")) modifier.setRuleIsActive(rule, false);
  });
  printSet(ctx, *task);
}

void editRule(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {kRuleValueOptions, kRuleClearFlags, {}});
  args.expectPositionals(1, 1, "chronelle rule edit RULE [rule options]");
  auto rule = std::dynamic_pointer_cast<Rule>(resolveRule(app, args.positionals().front()));
  if (!rule) throw CliError::usage("a group has nothing to edit; use 'rule move', 'activate' or 'delete'");
  const RuleFields fields = RuleFields::read(args);
  if (fields.empty()) throw CliError::usage("nothing to change (see 'chronelle rule --help')");
  const auto task = taskOf(*rule);
  write(app, [&](DataModifier&) { fields.applyTo(*rule); });
  printSet(ctx, *task);
}

void moveRule(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"in", "at"}, {"top"}, {}});
  args.expectPositionals(1, 1000, "chronelle rule move RULE… (--top | --in GROUP) [--at N]");
  if (args.has("top") == args.has("in")) throw CliError::usage("give --top or --in GROUP");
  std::vector<std::shared_ptr<RuleBase>> rules;
  for (const auto& text : args.positionals()) rules.push_back(resolveRule(app, text));
  const auto set = setOf(*rules.front());
  for (const auto& rule : rules) {
    if (setOf(*rule) != set) throw CliError::usage("the rules belong to different tasks");
  }
  const auto in = readGroup(app, args);
  if (in && setOf(*in) != set) throw CliError::usage("the group belongs to another task");
  if (!app.provider().checkThatRules(rules, in)) throw CliError::usage("groups do not nest");
  if (in && std::find(rules.begin(), rules.end(), in) != rules.end()) {
    throw CliError::usage("a group cannot move into itself");
  }
  const std::size_t index = readIndex(args, siblingCount(*set, in));
  const auto task = taskOf(*rules.front());
  write(app, [&](DataModifier& modifier) { modifier.moveRules(rules, set, in, index); });
  printSet(ctx, *task);
}

void activateRules(CommandContext& ctx, AppServices& app, const Args& rawArgs, bool active) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(1, 1000, std::string("chronelle rule ") + (active ? "activate" : "deactivate") + " RULE…");
  std::vector<std::shared_ptr<RuleBase>> rules;
  for (const auto& text : args.positionals()) {
    rules.push_back(resolveRule(app, text));
    const auto parent = rules.back()->parent();
    if (active && parent && !parent->active()) {
      throw CliError::usage("rule '" + text + "' is in an inactive group; activate the group");
    }
  }
  const auto task = taskOf(*rules.front());
  write(app, [&](DataModifier& modifier) {
    for (const auto& rule : rules) modifier.setRuleIsActive(rule, active);
  });
  printSet(ctx, *task);
}

void deleteRules(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {});
  args.expectPositionals(1, 1000, "chronelle rule delete RULE…");
  std::vector<std::shared_ptr<RuleBase>> rules;
  for (const auto& text : args.positionals()) rules.push_back(resolveRule(app, text));
  const auto task = taskOf(*rules.front());
  // A rule inside a group deleted in the same command goes with its group.
  // Named twice, it is deleted once.
  const std::set<std::shared_ptr<RuleBase>> chosen(rules.begin(), rules.end());
  std::vector<std::shared_ptr<RuleBase>> deleted;
  for (const auto& rule : rules) {
    if (chosen.count(rule->parent()) || std::find(deleted.begin(), deleted.end(), rule) != deleted.end()) continue;
    deleted.push_back(rule);
  }
  write(app, [&](DataModifier& modifier) {
    for (const auto& rule : deleted) modifier.deleteRule(rule);
  });
  printSet(ctx, *task);
}

void setSettings(CommandContext& ctx, AppServices& app, const Args& rawArgs) {
  const Arguments args(rawArgs, {{"start", "start-delay", "pause", "pause-delay"}, {"on", "off"}, {}});
  args.expectPositionals(1, 1, "chronelle rule settings TASK [options]");
  const auto task = NodeDirectory::resolveTask(app.provider(), args.positionals().front());
  if (args.has("on") && args.has("off")) throw CliError::usage("give --on or --off");
  const auto read = [&](const char* name, auto parse, const char* choices) {
    const auto text = args.value(name);
    auto parsed = text ? parse(*text) : std::nullopt;
    if (text && !parsed) throw CliError::usage(std::string("--") + name + " takes " + choices);
    return parsed;
  };
  const auto start = read("start", startTypeNamed, "notify or active");
  const auto startDelay = read("start-delay", startDelayNamed, "immediately, 10s, 30s, 1m, 3m or 5m");
  const auto pause = read("pause", pauseTypeNamed, "none, notify or active");
  const auto pauseDelay = read("pause-delay", pauseDelayNamed, "10s, 30s, 1m, 3m or 5m");
  const bool changes = start || startDelay || pause || pauseDelay || args.has("on") || args.has("off");
  if (changes) {
    write(app, [&](DataModifier& modifier) {
      auto set = modifier.ruleSetOf(*task);
      if (start) set->setStartType(*start);
      if (startDelay) set->setStartDelay(*startDelay);
      if (pause) set->setPauseType(*pause);
      if (pauseDelay) set->setPauseDelay(*pauseDelay);
      if (args.has("on") || args.has("off")) set->setActive(args.has("on"));
    });
  }
  printSet(ctx, *task);
}

}  // namespace

void ruleCommand(CommandContext& ctx, const Args& args) {
  if (args.empty()) throw CliError::usage("rule needs a subcommand (see 'chronelle rule --help')");
  const std::string sub = args.front();
  const Args rest(args.begin() + 1, args.end());
  AppServices& app = ctx.app();
  if (sub == "list") {
    const Arguments parsed(rest, {});
    parsed.expectPositionals(1, 1, "chronelle rule list TASK");
    printSet(ctx, *NodeDirectory::resolveTask(app.provider(), parsed.positionals().front()));
  } else if (sub == "add") {
    addRule(ctx, app, rest);
  } else if (sub == "edit") {
    editRule(ctx, app, rest);
  } else if (sub == "move") {
    moveRule(ctx, app, rest);
  } else if (sub == "activate" || sub == "deactivate") {
    activateRules(ctx, app, rest, sub == "activate");
  } else if (sub == "delete") {
    deleteRules(ctx, app, rest);
  } else if (sub == "settings") {
    setSettings(ctx, app, rest);
  } else {
    throw CliError::usage("unknown rule subcommand '" + sub + "' (see 'chronelle rule --help')");
  }
}

}  // namespace chronelle::cli
